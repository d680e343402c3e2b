// Command lines from a file descriptor (standard input), read through a small
// buffer so that lines arriving together are served without another wait.
#pragma once

#include <string>

#include "input/automation_platform.h"

namespace quorvane::input {

class FdCommands : public CommandInput {
 public:
  explicit FdCommands(int fd) : fd_(fd) {}

  InputWait wait(int timeoutMs) override;
  std::optional<std::string> readLine() override;

  // Commands are short words: a longer line is cut here and then refused as
  // unknown, so a writer that never sends a line feed cannot grow our memory.
  static constexpr size_t kMaxLine = 4096;

 private:
  bool fill();  // one read; false at end of input or on an error
  bool hasLine() const;

  int fd_;
  std::string buffer_;
  bool ended_ = false;
};

}  // namespace quorvane::input
