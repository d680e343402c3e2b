// The wallpaper Plasma draws on KWin: its desktop containments' settings
// (kde/plasma_wallpaper.h) for the screen number Plasma gives an output, and
// how they map to the mask's answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/kde/plasma_wallpaper.h"
#include "desktop/mask_platform.h"

namespace quorvane::desktop::wayland {

// Plasma's screen number for an output: its place in KWin's output order
// (common/wayland/output_order.h); nullopt when the order leaves it out.
std::optional<int> plasmaScreen(const std::vector<std::string>& order, std::string_view output);

// The settings as the mask's answer: the picture as a file URL, or the plain
// colour of the colour plugin; no wallpaper when neither can be read.
WallpaperChoice plasmaWallpaper(const kde::PlasmaChoice& choice);

}  // namespace quorvane::desktop::wayland
