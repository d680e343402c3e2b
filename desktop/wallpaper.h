// Reading one screen's wallpaper and placement, with the pixel budget shared
// by all screens.
#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "desktop/mask_platform.h"
#include "desktop/texts.h"

namespace quorvane::desktop {

// Wallpaper pixels over all screens together; the same file on two screens
// counts twice. Reaching the limit exactly is allowed.
class PixelBudget {
 public:
  static constexpr double kLimit = 160'000'000.0;
  // Adds an image; false once the total is over the limit.
  bool add(std::uint32_t width, std::uint32_t height) {
    total_ += static_cast<double>(width) * static_cast<double>(height);
    return total_ <= kLimit;
  }
  double total() const { return total_; }

 private:
  double total_ = 0;
};

// A URL naming a local file ("file:" scheme, any letter case).
bool isFileUrl(std::string_view url);

// The scaling a number stands for, read as an unsigned integer.
std::uint64_t scalingOf(double number);

// Placement read from the options, with their fallbacks: scaling 3, clipping
// allowed, black fill. nullopt when the scaling option is not a number.
struct Placement {
  std::uint64_t scaling = kScaleUpOrDown;
  bool clipping = true;
  Color fill{0, 0, 0, 1};
  bool operator==(const Placement&) const = default;
};
std::optional<Placement> readPlacement(const std::optional<PlacementOptions>& options);

// The smallest decode that still covers the drawn rectangle, in whole pixels.
struct DecodeSize {
  std::uint32_t width, height;
};
DecodeSize decodeSizeFor(const Rect& placed, std::uint32_t imageWidth, std::uint32_t imageHeight);

// Where the screen's wallpaper comes from: the first answer of the user's
// choice, what the window system draws itself, the desktop's default; no
// wallpaper when none answers.
WallpaperChoice wallpaperChoice(MaskPlatform& platform, const Screen& screen);

// Everything a cover needs, or the text of the first failure. No memory for
// the picture is an unreadable picture.
using WallpaperResult = std::variant<CoverPlan, const char*>;
WallpaperResult loadWallpaper(MaskPlatform& platform, const Screen& screen, PixelBudget& budget);

}  // namespace quorvane::desktop
