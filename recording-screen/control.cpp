#include "recording-screen/control.h"

namespace quorvane::recording {

Command parseCommand(std::string_view line) {
  if (line == "frame") return Command::frame;
  if (line == "stop") return Command::stop;
  return Command::invalid;
}

std::optional<std::string> ControlLines::next() {
  auto end = pending_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::size_t length = end;
  if (length > 0 && pending_[length - 1] == '\r') --length;
  std::string line = pending_.substr(0, length);
  pending_.erase(0, end + 1);
  return line;
}

std::optional<std::string> ControlLines::rest() {
  if (pending_.empty()) return std::nullopt;
  std::string line;
  line.swap(pending_);
  return line;
}

}  // namespace quorvane::recording
