#include "desktop/wayland/plasma_desktop.h"

#include <algorithm>

#include "desktop/posix/linux_platform.h"

namespace quorvane::desktop::wayland {

std::optional<int> plasmaScreen(const std::vector<std::string>& order, std::string_view output) {
  auto at = std::find(order.begin(), order.end(), output);
  if (at == order.end()) return std::nullopt;
  return static_cast<int>(at - order.begin());
}

WallpaperChoice plasmaWallpaper(const kde::PlasmaChoice& choice) {
  WallpaperChoice answer{NoWallpaper{}, choice.placement};
  if (!choice.file.empty()) {
    answer.source = posix::pictureFile(choice.file);
  } else if (const auto* color = choice.placement.fillColor ? std::get_if<Color>(&*choice.placement.fillColor)
                                                            : nullptr) {
    answer.source = PlainColor{*color};
  }
  return answer;
}

}  // namespace quorvane::desktop::wayland
