// The wallpaper sway draws, read through its IPC socket, as the mask's answer.
#pragma once

#include <optional>
#include <string>

#include "common/wayland/sway_ipc.h"
#include "desktop/mask_platform.h"
#include "desktop/wayland/sway_config.h"

namespace quorvane::desktop::wayland {

// Our placement for a sway background mode; an unknown mode gives a scaling
// option of another kind, as an unknown desktop word does.
PlacementOptions swayPlacement(const SwayBackground& background);

// The background as the mask's answer: the file as a file URI, or the plain
// colour; no wallpaper when the path is not absolute or the colour unreadable.
WallpaperChoice swayWallpaper(const SwayBackground& background);

// sway's configuration text; nullopt when it cannot be read in time.
std::optional<std::string> readSwayConfig(quorvane::wayland::SwayIpc& ipc);

}  // namespace quorvane::desktop::wayland
