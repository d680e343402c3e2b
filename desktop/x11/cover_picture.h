// A cover's picture, drawn client side straight into the pixel layout of the
// server's pixmap, and the memory it is drawn into: shared with the X server
// where it can attach it, so that a whole screen reaches its pixmap as one
// small request instead of megabytes through the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <xcb/xcb.h>

#include "common/x11/connection.h"
#include "common/x11/shm.h"
#include "desktop/drawing/cover_drawing.h"
#include "desktop/mask_platform.h"

namespace quorvane::desktop::x11 {

// A cover's window: the screen's frame grown by one pixel past an edge of the
// root where one is free, else into the right-hand neighbour. Window managers
// (openbox, mutter) take an undecorated window of exactly a monitor's size for
// an old-style fullscreen window and lift it above everything when nothing on
// that monitor has focus.
CoverRect coverRect(const Screen& frame, std::uint32_t rootWidth, std::uint32_t rootHeight);

// Whether the server's pixmaps of the root depth keep pixels exactly as
// drawCover writes them, so that they can be copied without conversion.
bool takesNativeXrgb(const xcb_setup_t* setup, const xcb_screen_t* screen, const xcb_visualtype_t* visual);

// The memory one cover is drawn into: a shared memory segment the server has
// been asked to attach, else ordinary memory.
class CoverCanvas {
 public:
  // `share`: try a segment (the server is local and takes native pixels).
  CoverCanvas(const quorvane::x11::Connection& c, std::uint32_t width, std::uint32_t height, bool share);
  CoverCanvas(const CoverCanvas&) = delete;
  CoverCanvas& operator=(const CoverCanvas&) = delete;

  // nullptr when not even ordinary memory could be had.
  std::uint32_t* pixels() const { return pixels_; }
  std::size_t stride() const { return std::size_t{width_} * 4; }

  // Whether the server attached the shared segment (waits for its answer).
  bool sharedWithServer() { return segment_ && segment_->attached(); }

  // A pixmap of the root depth holding the drawn pixels: the shared segment
  // itself where the server makes pixmaps of shared memory (no copy at all),
  // else a new pixmap filled from the segment, else through the socket with
  // conversion to the visual's layout. Our memory is released either way.
  xcb_pixmap_t toPixmap(xcb_screen_t* screen, xcb_visualtype_t* visual, bool sharedPixmaps);

 private:
  bool makeSharedPixmap(xcb_pixmap_t pixmap, xcb_screen_t* screen);
  void copyFromSegment(xcb_pixmap_t pixmap, xcb_screen_t* screen);
  void sendThroughSocket(xcb_pixmap_t pixmap, xcb_visualtype_t* visual);
  void release();

  xcb_connection_t* c_;
  std::uint32_t width_, height_;
  std::uint32_t* pixels_ = nullptr;
  std::unique_ptr<std::uint32_t[]> heap_;
  std::unique_ptr<quorvane::x11::ShmSegment> segment_;
};

}  // namespace quorvane::desktop::x11
