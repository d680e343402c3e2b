// The pure rules of auto-scroll: which selections are acceptable, and which
// window of a process is the one hit at a point.
#pragma once

#include <cstdint>
#include <optional>

#include "common/channel.h"
#include "input/window_description.h"

namespace quorvane::input {

// The selection, in fractions of the window, must be finite, non-empty and
// inside the unit square (edges included).
bool validScrollRect(const Rect& selection);

// The frontmost window of `pid` that is hit at `point`: its number, or nothing
// (no pid, no such window, or the deciding entry has no readable number).
std::optional<std::uint32_t> topScrollWindow(std::optional<std::int32_t> pid, const WindowList& list, Point point);

// A wheel step of n pixels as whole wheel clicks: never further than asked, at least one.
int wheelClicks(int pixels);

// The scroll self-test's Message: nine booleans from fixed scenarios.
Json scrollSelfTest();

}  // namespace quorvane::input
