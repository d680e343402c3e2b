#include "desktop/wayland/sway_wallpaper.h"

#include "common/wayland/sway_ipc.h"
#include "desktop/gsettings/gsettings_wallpaper.h"
#include "desktop/posix/linux_platform.h"

namespace quorvane::desktop::wayland {

PlacementOptions swayPlacement(const SwayBackground& b) {
  struct Mode {
    std::string_view sway, desktop;
  };
  static constexpr Mode kModes[] = {{"fill", "zoom"},         {"fit", "scaled"},      {"stretch", "stretched"},
                                    {"center", "centered"},   {"tile", "wallpaper"},  {"solid_color", "stretched"}};
  std::string_view word = b.mode;
  for (const Mode& m : kModes) {
    if (m.sway == b.mode) word = m.desktop;
  }
  return gsettings::placementFor(word, b.color);
}

WallpaperChoice swayWallpaper(const SwayBackground& b) {
  WallpaperChoice choice{NoWallpaper{}, swayPlacement(b)};
  if (b.file.empty()) {
    if (auto color = gsettings::parseColor(b.color)) choice.source = PlainColor{*color};
    return choice;
  }
  choice.source = posix::pictureFile(b.file);
  return choice;
}

std::optional<std::string> readSwayConfig(quorvane::wayland::SwayIpc& ipc) {
  auto payload = ipc.request(quorvane::wayland::kSwayGetConfig);
  return payload ? swayConfigText(*payload) : std::nullopt;
}

}  // namespace quorvane::desktop::wayland
