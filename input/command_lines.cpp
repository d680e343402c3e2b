#include "input/command_lines.h"

namespace quorvane::input {

void LineReader::finishLine() {
  if (!current_.empty() && current_.back() == '\r') current_.pop_back();
  lines_.push_back(std::move(current_));
  current_.clear();
}

void LineReader::feed(std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\n') {
      if (!cut_) finishLine();
      cut_ = false;
    } else if (!cut_) {
      current_.push_back(c);
      if (current_.size() == kMaxLine) {
        finishLine();
        cut_ = true;
      }
    }
  }
}

void LineReader::end() {
  if (!ended_ && !cut_ && !current_.empty()) finishLine();
  ended_ = true;
}

std::optional<std::string> LineReader::take() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

}  // namespace quorvane::input
