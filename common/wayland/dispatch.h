// Waiting on a Wayland compositor: one loop for every client, and never
// without a deadline on a compositor that may have stopped answering.
#pragma once

#include <chrono>
#include <functional>
#include <span>

#include <poll.h>
#include <wayland-client.h>

#include "common/posix/session.h"

namespace quorvane::wayland {

using posix::Deadline;

// Sends what is queued, waits up to timeoutMs (-1: no limit) for the
// compositor or any of `others` (whose revents it fills in), and handles
// what the compositor sent. False once the connection is broken.
bool waitFor(wl_display* display, std::span<pollfd> others, int timeoutMs);

// Handles events until `done` holds, the deadline passes or the connection
// fails; whether `done` held.
bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Deadline deadline);

// Everything sent so far answered (one wl_display.sync) by the deadline.
bool roundtripBy(wl_display* display, Deadline deadline);

}  // namespace quorvane::wayland
