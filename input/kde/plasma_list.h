// KWin's window list (Plasma window management) as quorvane-input's window
// list. Window numbers are KWin's window uuids hashed, so that every run of
// the helper gives a window the same number; bounds are the frames KWin
// reports, owners the windows' pids, names their app ids. Plasma's own
// desktop is never listed, and minimised windows are not on screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/wayland/plasma_windows.h"
#include "input/window_description.h"

namespace quorvane::input::kde {

using quorvane::wayland::PlasmaWindow;

// The window's number: the same for the same uuid in every process.
std::uint32_t windowNumber(std::string_view uuid);

// The windows front to back as the list's entries; only those on screen
// when `onScreenOnly`.
WindowList plasmaWindowList(const std::vector<PlasmaWindow>& frontToBack, bool onScreenOnly);

// The window with that number; nothing when none or more than one has it
// (two uuids may hash alike: acting on the wrong window is worse than none).
std::optional<PlasmaWindow> windowNumbered(const std::vector<PlasmaWindow>& windows, std::uint32_t number);

// The owner of the active window; nothing when none is active or its owner is not told.
std::optional<std::int32_t> activePid(const std::vector<PlasmaWindow>& windows);

// The frontmost window of that owner, on screen or not; nothing without one.
std::optional<PlasmaWindow> frontWindowOf(const std::vector<PlasmaWindow>& frontToBack, std::int32_t pid);

}  // namespace quorvane::input::kde
