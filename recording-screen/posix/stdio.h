// Standard input and output as POSIX gives them; the process itself is
// common/posix's.
#pragma once

#include <sys/uio.h>

#include "recording-screen/capture.h"

namespace quorvane::recording::posix {

class StdinInput final : public ControlInput {
 public:
  explicit StdinInput(int fd = 0) : fd_(fd) {}
  // A read error counts as the end of input: the application can no longer
  // talk to us. A descriptor left non-blocking by the application is waited on.
  std::optional<std::string> read() override;
  // The process ends without joining the reader, so nothing needs waking.
  void interrupt() override {}

 private:
  int fd_;
};

class StdoutOutput final : public RecordOutput {
 public:
  std::optional<std::string> write(std::span<const std::string_view> parts) override;
};

// Room asked for in the pipe to the application: a 5K frame's record is about
// 3 MB, and through the usual 64 KiB the writer waits for the reader to be
// woken fifty times. 1 MiB is what an unprivileged process may ask for.
inline constexpr int kRecordPipeBytes = 1 << 20;

// Gives the pipe at `fd` room for `bytes`, never less than it has; a
// descriptor that is no pipe, or the system's limits, leave it as it is.
void widenPipe(int fd, int bytes);

// A write gives the pipe at most this much. In one write a large record fills
// the pipe before the reader is woken, and then each copies in turn; in pieces
// the reader copies one out while the next goes in. A 2.5 MB record between
// two cores that share no cache came 20 % sooner. A record of a few changed
// rows still goes in one write, and wakes the reader once.
inline constexpr std::size_t kWriteChunkBytes = 256 * 1024;

// Writes the parts to `fd` in full with gathered writes (`gather`, writev by
// default) of at most kWriteChunkBytes, resuming where a short write stopped;
// an error description on failure.
using GatherWrite = ssize_t (*)(int fd, const iovec* parts, int count);
std::optional<std::string> writeAll(int fd, std::span<const std::string_view> parts, GatherWrite gather = ::writev);

}  // namespace quorvane::recording::posix
