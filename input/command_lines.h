// Command lines cut out of a byte stream, however its bytes are split across
// reads.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::input {

class LineReader {
 public:
  // Commands are short words: a longer line is cut here and then refused as
  // unknown, so a writer that never sends a line feed cannot grow our memory.
  static constexpr std::size_t kMaxLine = 4096;

  void feed(std::string_view bytes);
  // No more bytes: a last line without its line feed still counts.
  void end();
  bool ended() const { return ended_; }
  // The next whole line without its line feed or a carriage return before it.
  std::optional<std::string> take();

 private:
  void finishLine();

  std::deque<std::string> lines_;
  std::string current_;
  bool cut_ = false;  // current_ was sent as a cut line; the rest of it is dropped
  bool ended_ = false;
};

}  // namespace quorvane::input
