// The covers' pictures, each drawn on a thread of its own while the next
// screen's wallpaper is read. Covers that look alike share one drawing: the
// same wallpaper on screens of one size, the common case, is drawn once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "desktop/drawing/cover_drawing.h"

namespace quorvane::desktop {

class CoverDrawings {
 public:
  // Where a new drawing goes: its pixels (nullptr: no memory, nothing is
  // drawn) and the bytes of a row.
  struct Canvas {
    std::uint32_t* pixels = nullptr;
    std::size_t stride = 0;
  };
  // Starts a thread; throws as std::thread does when it cannot.
  using Spawn = std::thread (*)(std::function<void()> work);

  explicit CoverDrawings(Spawn spawn = [](std::function<void()> work) { return std::thread(std::move(work)); })
      : spawn_(spawn) {}
  ~CoverDrawings() { finish(); }
  CoverDrawings(const CoverDrawings&) = delete;
  CoverDrawings& operator=(const CoverDrawings&) = delete;

  // The index of the drawing that shows `picture`: an earlier one alike, else
  // a new one of `plan` in `rect`, drawn into what `canvas` gives. `canvas` is
  // called once for each new drawing, in the order of the indexes. Where no
  // thread can be had, the drawing is made here.
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
