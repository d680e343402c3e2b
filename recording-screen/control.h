// Control lines on standard input: "frame" asks for a frame, "stop" ends the
// capture; anything else is refused.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::recording {

enum class Command { frame, stop, invalid };

// One line without its line feed. Exact and case-sensitive, nothing trimmed.
Command parseCommand(std::string_view line);

// Longer than any valid line: a line that grows past it is refused as soon as
// it is seen, so a reader never buffers more than this.
inline constexpr std::size_t kMaxControlLine = 64;

// Cuts standard input into lines. A carriage return just before a line feed
// is not part of the line.
class ControlLines {
 public:
  void feed(std::string_view bytes) { pending_.append(bytes); }
  // The next complete line, or nullopt when none is complete yet.
  std::optional<std::string> next();
  // What is left at end of input: the last line, when it had no line feed.
  std::optional<std::string> rest();
  // True once the unfinished line is already too long to be a command.
  bool overlong() const { return pending_.size() > kMaxControlLine; }
  // Bytes held for lines not yet taken.
  std::size_t held() const { return pending_.size(); }

 private:
  std::string pending_;
};

// What the control reader makes of standard input, chunk by chunk: a request
// for each frame line as it comes, then how reading ends. Holds no more than
// one unfinished line, and refuses that one once it is too long to be a
// command, so a writer that never sends a line feed cannot grow it.
class ControlReader {
 public:
  enum class End { none, stop, invalid, endOfInput };

  // The next bytes read; `none` while reading goes on.
  End feed(std::string_view bytes, const std::function<void()>& frame);
  // End of input: a last line without a line feed still counts.
  End finish(const std::function<void()>& frame);
  // Bytes held between reads: at most one unfinished line of kMaxControlLine.
  std::size_t held() const { return lines_.held(); }

 private:
  static End obey(const std::string& line, const std::function<void()>& frame);

  ControlLines lines_;
};

}  // namespace quorvane::recording
