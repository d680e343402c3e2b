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

ControlReader::End ControlReader::obey(const std::string& line, const std::function<void()>& frame) {
  switch (parseCommand(line)) {
    case Command::frame:
      frame();
      return End::none;
    case Command::stop:
      return End::stop;
    case Command::invalid:
      return End::invalid;
  }
  return End::invalid;
}

ControlReader::End ControlReader::feed(std::string_view bytes, const std::function<void()>& frame) {
  lines_.feed(bytes);
  // Lines after the one that ends reading are never looked at.
  while (auto line = lines_.next()) {
    if (End end = obey(*line, frame); end != End::none) return end;
  }
  return lines_.overlong() ? End::invalid : End::none;
}

ControlReader::End ControlReader::finish(const std::function<void()>& frame) {
  if (auto last = lines_.rest()) {
    if (End end = obey(*last, frame); end != End::none) return end;
  }
  return End::endOfInput;
}

}  // namespace quorvane::recording
