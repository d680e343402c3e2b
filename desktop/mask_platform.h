// What the desktop mask relies on from the system: screens, where each
// screen's wallpaper comes from, cover windows between the desktop icons and
// the normal windows, and the event loop that feeds the core. The parent comes
// through common/process.h, time through common/clock.h. Backends: x11/ and
// wayland/, over what posix/ gives every Linux backend; unit tests use
// fake_mask_platform.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/outcome.h"
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
  bool operator==(const PlacementOptions&) const = default;
};

// Where a screen's wallpaper comes from: nowhere, a URL naming a file, an
// image the desktop already placed (a root pixmap cut to the screen), or a
// plain colour.
struct NoWallpaper {};
struct WallpaperUrl {
  std::string url;
};
struct PlacedImage {
  std::unique_ptr<WallpaperImage> image;
};
struct PlainColor {
  Color color;
};
using WallpaperSource = std::variant<NoWallpaper, WallpaperUrl, PlacedImage, PlainColor>;

// One answer to "what is the wallpaper": its source and how it is placed
// (nullopt: the desktop keeps no options for it).
struct WallpaperChoice {
  WallpaperSource source;
  std::optional<PlacementOptions> options;
};

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

class DesktopMask;

class MaskPlatform {
 public:
  virtual ~MaskPlatform() = default;

  // Stacking levels: the desktop-icons layer and the normal windows' layer.
  virtual std::int32_t desktopIconLevel() = 0;
  virtual std::int32_t normalWindowLevel() = 0;

  // The screens in the window system's order; empty when there is no window system.
  virtual std::vector<Screen> screens() = 0;

  // The wallpaper's answers, each nullopt where it has none; the core takes
  // the first: what the user chose in the desktop's settings, what the window
  // system draws itself on the screen, the desktop's default.
  virtual std::optional<WallpaperChoice> chosenWallpaper() = 0;
  virtual std::optional<WallpaperChoice> systemWallpaper(const Screen& screen) = 0;
  virtual std::optional<WallpaperChoice> defaultWallpaper() = 0;
  // Opens the file a URL names and reads its header; nullptr when it cannot.
  // Screens that show one file may share its image.
  virtual std::shared_ptr<WallpaperImage> openImage(const std::string& url) = 0;

  // Whether the process was asked to end (SIGTERM) since it started.
  virtual bool terminationRequested() = 0;

  // Builds (but does not show) the cover for one screen, one level above the
  // desktop icons and below the normal windows.
  virtual void prepareCover(const CoverPlan& plan) = 0;
  // Puts every prepared cover on screen at once.
  virtual void showCovers() = 0;

  // Feeds the mask's handlers (control input, SIGTERM, screen and workspace
  // changes, covers on screen, timers) until one ends it; how it ended.
  virtual Exit run(DesktopMask& mask) = 0;
};

}  // namespace quorvane::desktop
