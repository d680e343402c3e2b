// A cover's picture drawn client side with cairo, into memory laid out as
// 32-bit 0x00RRGGBB pixels: what every backend shows, whatever window system
// takes the pixels; and the covers' drawings, each on a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

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

// What a cover's picture depends on: covers with equal pictures look alike.
// The image counts by identity (monitors of one size share one decode).
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

// The covers' pictures, drawn while the next screen's wallpaper is read.
// Covers alike share one drawing: the same wallpaper on screens of one size,
// the common case, is drawn once.
class CoverDrawings {
 public:
  struct Canvas {
    std::uint32_t* pixels = nullptr;  // nullptr: no memory, nothing drawn
    std::size_t stride = 0;
  };
  using Spawn = std::thread (*)(std::function<void()> work);  // throws as std::thread does; null: std::thread

  explicit CoverDrawings(Spawn spawn = nullptr) : spawn_(spawn) {}
  ~CoverDrawings() { finish(); }

  // The index of the drawing that shows `picture`: an earlier one alike, else
  // a new one of `plan` in `rect` drawn into what `canvas` gives (called once
  // per new drawing, in index order), here where no thread can be had.
  std::size_t draw(const CoverPlan& plan, const CoverPicture& picture, const CoverRect& rect,
                   const std::function<Canvas()>& canvas);
  // Waits for every drawing and lets go of their pictures.
  void finish();

 private:
  struct Drawing {
    CoverPicture picture;
    std::shared_ptr<const Bitmap> image;  // keeps picture.image's identity meaningful
    std::thread thread;
  };
  Spawn spawn_;
  std::vector<Drawing> drawings_;
};

}  // namespace quorvane::desktop
