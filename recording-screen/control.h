// Control lines on standard input: "frame" asks for a frame, "stop" ends the
// capture; anything else is refused.
#pragma once

#include <cstddef>
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

 private:
  std::string pending_;
};

}  // namespace quorvane::recording
