// Bringing a window to the front before a recording: activate its
// application, and only when that is not enough, raise it through the
// accessibility interface.
#pragma once

#include <string>

#include "common/channel.h"
#include "input/window_system.h"

namespace quorvane::input {

// Answers { focused: true } or { error: text } and gives the exit status.
int runFocusWindow(Services& s, const std::string& windowText, Channel& channel);

// An accessibility window matches a frame when every measure differs by less than 2 points.
bool frameMatches(const AccessibilityWindow& window, const Rect& frame);

}  // namespace quorvane::input
