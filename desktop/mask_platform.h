// What the desktop mask relies on from the system: screens, wallpapers and
// their placement, cover windows and stacking levels. The parent process comes
// through common/process.h. The X11 backend (x11/) implements it; tests use
// fake_mask_platform.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "desktop/placement.h"

namespace quorvane::desktop {

// A screen's frame in global coordinates (pixels, origin top-left).
struct Screen {
  std::int32_t x = 0, y = 0;
  std::uint32_t width = 0, height = 0;
  bool operator==(const Screen&) const = default;
};

struct Color {
  double red = 0, green = 0, blue = 0, alpha = 1;  // 0..1
  bool operator==(const Color&) const = default;
};

// Decoded pixels, premultiplied 32-bit ARGB in native byte order, rows packed.
struct Bitmap {
  std::uint32_t width = 0, height = 0;
  bool opaque = false;  // every alpha is 0xFF: nothing behind the picture shows
  // width x height pixels, in memory of the decoder's choosing (huge pages for
  // large pictures), released with the bitmap.
  std::shared_ptr<std::uint32_t[]> pixels;
};

// An image whose size is known from its header but whose pixels are not read
// yet, so that the pixel budget is checked before anything large is decoded.
class WallpaperImage {
 public:
  virtual ~WallpaperImage() = default;
  virtual std::uint32_t width() const = 0;
  virtual std::uint32_t height() const = 0;
  // The pixels at a size of at least minWidth x minHeight where the format can
  // decode at reduced scale (never above the natural size); nullptr when the
  // data cannot be decoded (corrupt, truncated, unsupported).
  virtual std::shared_ptr<const Bitmap> decode(std::uint32_t minWidth, std::uint32_t minHeight) = 0;
};

// A placement option as the desktop stores it: its value keeps its kind, since
// a value of the wrong kind is treated differently per option.
struct OtherKind {
  bool operator==(const OtherKind&) const = default;
};
using OptionValue = std::variant<double, bool, Color, std::string, OtherKind>;

// Each option is absent (nullopt) or present with a value of some kind.
struct PlacementOptions {
  std::optional<OptionValue> scaling;
  std::optional<OptionValue> clipping;
  std::optional<OptionValue> fillColor;
};

// Where a screen's wallpaper comes from: nowhere, a URL naming a file, or an
// image the desktop already placed (a root pixmap cut to the screen).
struct NoWallpaper {};
struct WallpaperUrl {
  std::string url;
};
struct PlacedImage {
  std::unique_ptr<WallpaperImage> image;
};
using WallpaperSource = std::variant<NoWallpaper, WallpaperUrl, PlacedImage>;

// One cover window, fully decided: the backend only paints and shows it.
struct CoverPlan {
  Screen frame;
  std::shared_ptr<const Bitmap> image;
  Size imageSize;  // the image's natural size; `image` may be decoded smaller
  std::uint64_t scaling = kScaleUpOrDown;
  bool clipping = true;
  Color fill;
  Rect placed;  // imageRect of the image in the screen's bounds
};

class MaskPlatform {
 public:
  virtual ~MaskPlatform() = default;

  // Stacking levels: the desktop-icons layer and the normal windows' layer.
  virtual std::int32_t desktopIconLevel() = 0;
  virtual std::int32_t normalWindowLevel() = 0;

  // Turns the process into one that never takes focus or shows in task lists.
  virtual void becomeAccessory() = 0;
  virtual std::vector<Screen> screens() = 0;
  virtual WallpaperSource wallpaper(const Screen& screen) = 0;
  // Opens the file a URL names and reads its header; nullptr when it cannot.
  virtual std::unique_ptr<WallpaperImage> openImage(const std::string& url) = 0;
  // nullopt when the desktop has no options for the screen.
  virtual std::optional<PlacementOptions> placementOptions(const Screen& screen) = 0;

  // Builds (but does not show) the cover for one screen at the given level.
  // X11 ignores the level (the window manager stacks the covers); a backend
  // that sets window levels itself, as macOS does, needs it.
  virtual void prepareCover(const CoverPlan& plan, std::int32_t level) = 0;
  // Puts every prepared cover on screen at once.
  virtual void showCovers() = 0;
};

}  // namespace quorvane::desktop
