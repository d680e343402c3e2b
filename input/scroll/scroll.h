// Auto-scroll: turn the wheel inside a selection of another application's
// window, one step per command, and stop at the first sign that the wheel
// would land anywhere else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/channel.h"
#include "input/window_system.h"

namespace quorvane::input {

// The whole mode, from the argument check to the pointer put back. Every end
// is status 0 (1 only if a Message could not be encoded).
int runScroll(Services& s, CommandInput& commands, const std::vector<std::string>& args, Channel& channel);

// Whether the window is the one under the point, as a user would see it.
bool frontmost(WindowSystem& system, std::int32_t ownerPid, std::uint32_t number, Point point);

// Pixels per step: 45 % of the selection's height, bounded to 1..500.
int stepAmount(double selectionHeight, double windowHeight);

inline constexpr int kMaxSteps = 100;
inline constexpr double kRunSeconds = 120.0;
inline constexpr int kCommandWaitMs = 10000;
inline constexpr double kPointerTolerance = 3.0;

}  // namespace quorvane::input
