// The wallpaper sway draws: the `output ... bg` lines of its configuration,
// read through its IPC socket (GET_CONFIG; the reader is sway_config.cpp),
// and how they map to the mask's answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/wayland/sway_ipc.h"
#include "desktop/mask_platform.h"

namespace quorvane::desktop::wayland {

struct SwayBackground {
  std::string file;   // an absolute path, "" for a solid colour
  std::string mode;   // stretch, fill, fit, center, tile, solid_color
  std::string color;  // the fallback (or solid) colour, "#rrggbb"; may be ""
};

// The background sway gives the output `outputName`: its last `bg` (or
// `background`) line for that name, else its last one for `*`. Understands
// `set $variable value`, quoting, `~/` and `output NAME { ... }` blocks. A
// configuration over 1 MiB, with more than 64 variables, a word over 4,096
// bytes once variables are replaced, or blocks opened by more than 16 words
// is not read.
std::optional<SwayBackground> swayBackground(std::string_view config, std::string_view outputName,
                                             std::string_view home);
// The configuration text in sway's reply to GET_CONFIG; nullopt for any other reply.
std::optional<std::string> swayConfigText(std::string_view reply);
// sway's configuration text; nullopt when it cannot be read in time.
std::optional<std::string> readSwayConfig(quorvane::wayland::SwayIpc& ipc);

// Our placement for a sway background mode; an unknown mode gives a scaling
// option of another kind, as an unknown desktop word does.
PlacementOptions swayPlacement(const SwayBackground& background);
// The background as the mask's answer: the file as a file URI, or the plain
// colour; no wallpaper when the path is not absolute or the colour unreadable.
WallpaperChoice swayWallpaper(const SwayBackground& background);

}  // namespace quorvane::desktop::wayland
