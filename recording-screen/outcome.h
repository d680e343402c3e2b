// How a handler tells its caller whether the process goes on.
#pragma once

#include <optional>
#include <string>

namespace quorvane::recording {

// The end of the process: its status, and the text for standard error (written
// as it is, no line feed added; empty for the quiet ends).
struct Exit {
  int status = 0;
  std::string text;
  bool operator==(const Exit&) const = default;
};

// nullopt = carry on.
using Outcome = std::optional<Exit>;

inline Exit quietExit() { return Exit{0, {}}; }
inline Exit failure(std::string text) { return Exit{1, std::move(text)}; }

}  // namespace quorvane::recording
