// Waiting on observable state in end-to-end tests: window managers and X servers act asynchronously.
// The condition is checked again whenever a private X server of this process reports a change of its
// root window (the window manager mapping, moving, listing or restacking a window), never on a timer.
#pragma once

#include <chrono>
#include <functional>

namespace quorvane::test {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace quorvane::test
