// A cover's picture drawn client side with cairo, into memory laid out as
// 32-bit 0x00RRGGBB pixels: what every backend shows, whatever window system
// takes the pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "desktop/mask_platform.h"

namespace quorvane::desktop {

// Where a cover's picture goes: its window (or surface) and where the
// screen's picture starts in it.
struct CoverRect {
  std::int32_t x, y;
  std::uint32_t width, height;
  std::int32_t pictureX, pictureY;  // where the screen's picture starts in the window
  bool operator==(const CoverRect&) const = default;
};

// What a cover's picture depends on. Covers with equal pictures look alike and
// share one drawing and one pixmap: the same wallpaper on monitors of one size,
// the common case, is drawn once. The image counts by identity (monitors of one
// size share one decode).
struct CoverPicture {
  const Bitmap* image = nullptr;
  Rect placed;
  Color fill;
  std::uint32_t screenWidth = 0, screenHeight = 0;
  std::int32_t pictureX = 0, pictureY = 0;
  bool operator==(const CoverPicture&) const = default;
};
CoverPicture coverPicture(const CoverPlan& plan, const CoverRect& window);

// The canvas a picture is drawn into: one pixel wider and taller than the
// screen, so that it serves whichever edge a window grows past; each window
// shows the canvas's top-left part as its background.
CoverRect canvasRect(const CoverPicture& picture);

// Draws the fill colour and the wallpaper scaled into its placed rectangle, as
// 32-bit pixels 0x00RRGGBB (native byte order), `stride` bytes a row. The memory
// may hold anything beforehand: every pixel is written.
void drawCover(const CoverPlan& plan, const CoverRect& rect, std::uint32_t* pixels, std::size_t stride);

}  // namespace quorvane::desktop
