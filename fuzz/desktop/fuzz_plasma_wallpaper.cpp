// Plasma's applet settings are a file in the user's home that any program of
// the user may have written: the KConfig reader and the wallpaper choice must
// take any bytes without crashing, whatever screen or activity is asked for.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "desktop/kde/plasma_wallpaper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string activity = quorvane::desktop::kde::currentActivity(text);
  for (int screen : {0, 1}) {
    if (auto wallpaper = quorvane::desktop::kde::plasmaWallpaper(text, screen, activity)) {
      quorvane::desktop::kde::plasmaPlacement(*wallpaper);
      quorvane::desktop::kde::parsePlasmaColor(wallpaper->color);
      quorvane::desktop::kde::packageImage({wallpaper->image, wallpaper->fillMode}, 1920, 1080);
    }
  }
  return 0;
}
