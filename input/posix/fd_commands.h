// Command lines from a file descriptor (standard input), and waiting for
// descriptors with poll.
#pragma once

#include "input/command_lines.h"
#include "input/window_system.h"

namespace quorvane::input::posix {

class FdCommands final : public CommandInput {
 public:
  explicit FdCommands(int fd) : fd_(fd) {}
  std::optional<std::string> next(int timeoutMs) override;

 private:
  // Waits for bytes until the deadline and reads them; false on time-out or a failed wait.
  bool fill(int timeoutMs);

  int fd_;
  LineReader lines_;
};

class PollWait final : public DescriptorWait {
 public:
  void wait(const std::vector<int>& descriptors, int timeoutMs) override;
};

}  // namespace quorvane::input::posix
