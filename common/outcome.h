// What a handler tells the loop that called it: carry on, or end the process.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quorvane {

// The end of the process: its status, and the text the program reports on the
// way out in its own form (an Error Message, or bytes on standard error); empty
// for a quiet end.
struct Exit {
  int status = 0;
  std::string text;
  bool operator==(const Exit&) const = default;
};

// nullopt: carry on.
using Outcome = std::optional<Exit>;

inline Exit quietExit() { return Exit{0, {}}; }
inline Exit failure(std::string text, int status = 1) { return Exit{status, std::move(text)}; }

}  // namespace quorvane
