// Standard input, standard output and the parent process, as POSIX gives them.
#pragma once

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
  std::optional<std::string> writeOutput(std::string_view bytes) override;
};

}  // namespace quorvane::recording
