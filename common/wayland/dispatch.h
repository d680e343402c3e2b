// Waiting on a Wayland compositor with a deadline: a client never blocks on
// a compositor that stopped answering.
#pragma once

#include <chrono>
#include <functional>

#include <wayland-client.h>

namespace quorvane::wayland {

using Deadline = std::chrono::steady_clock::time_point;

// Handles events until `done` holds, the deadline passes or the connection
// fails; whether `done` held. Queued requests are sent first.
bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Deadline deadline);

// Everything sent so far answered (one wl_display.sync) by the deadline.
bool roundtripBy(wl_display* display, Deadline deadline);

}  // namespace quorvane::wayland
