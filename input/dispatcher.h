// The command line of quorvane-input: ten forms tested in a fixed order of
// precedence; the first that matches picks the mode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::input {

enum class Mode {
  ScrollSelfTest,  // any argument "--scroll-self-test"
  FocusWindow,     // exactly [path, "--focus-window", text]
  CaptureWindows,  // exactly [path, "--capture-windows"]
  ActiveWindow,    // exactly [path, "--active-window"]
  WindowInfo,      // any argument "--window-info"
  Scroll,          // any argument "--scroll"
  KeySelfTest,     // any argument "--self-test"
  Check,           // any argument "--check"
  Monitor,         // exactly [path, "screen" | "window", number]
  Invalid,
};

// What the input monitor records: a display (by id) or one window (by number).
struct InputSource {
  std::string kind;  // "screen" or "window"
  std::uint32_t id = 0;
};

struct Dispatch {
  Mode mode = Mode::Invalid;
  InputSource source;  // for Mode::Monitor
};

// args[0] is the program path; it counts where a form says "any argument".
Dispatch dispatch(const std::vector<std::string>& args);

}  // namespace quorvane::input
