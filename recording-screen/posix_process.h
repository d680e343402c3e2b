// Standard input, standard output and the parent process, as POSIX gives them.
#pragma once

#include <sys/uio.h>

#include "recording-screen/platform.h"

namespace quorvane::recording {

class StdinInput final : public ControlInput {
 public:
  // A read error counts as the end of input: the application can no longer talk to us.
  std::optional<std::string> read() override;
};

class PosixProcess final : public Process {
 public:
  std::int32_t parentPid() override;
  std::int32_t ownPid() override;
  std::optional<std::string> writeOutput(std::span<const std::string_view> parts) override;
};

// Writes the parts to `fd` in full with gathered writes (`gather`, writev by
// default), resuming where a short write stopped; an error description on failure.
using GatherWrite = ssize_t (*)(int fd, const iovec* parts, int count);
std::optional<std::string> writeAll(int fd, std::span<const std::string_view> parts, GatherWrite gather = ::writev);

}  // namespace quorvane::recording
