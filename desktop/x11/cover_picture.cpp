#include "desktop/x11/cover_picture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <new>

#include <cairo-xcb.h>
#include <cairo.h>

namespace quorvane::desktop::x11 {

namespace {

constexpr std::uint8_t kNativeImageOrder =
    std::endian::native == std::endian::little ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST;

}  // namespace

CoverRect coverRect(const Screen& f, std::uint32_t rootWidth, std::uint32_t rootHeight) {
  CoverRect r{f.x, f.y, f.width + 1, f.height, 0, 0};
  std::int64_t right = std::int64_t{f.x} + f.width, bottom = std::int64_t{f.y} + f.height;
  if (right >= rootWidth) return r;  // the extra column is off the root
  if (bottom >= rootHeight) return {f.x, f.y, f.width, f.height + 1, 0, 0};
  if (f.x <= 0) return {f.x - 1, f.y, f.width + 1, f.height, 1, 0};
  if (f.y <= 0) return {f.x, f.y - 1, f.width, f.height + 1, 0, 1};
  return r;  // enclosed: one column under the neighbour's cover
}

bool takesNativeXrgb(const xcb_setup_t* setup, const xcb_screen_t* screen, const xcb_visualtype_t* visual) {
  constexpr std::uint8_t kDepth = 24, kBitsPerPixel = 32;
  if (!visual || screen->root_depth != kDepth || setup->image_byte_order != kNativeImageOrder) return false;
  if (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR || visual->red_mask != 0xFF0000 ||
      visual->green_mask != 0x00FF00 || visual->blue_mask != 0x0000FF) {
    return false;
  }
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
    if (f.data->depth == kDepth) return f.data->bits_per_pixel == kBitsPerPixel && f.data->scanline_pad <= 32;
  }
  return false;
}

CoverCanvas::CoverCanvas(const quorvane::x11::Connection& c, std::uint32_t width, std::uint32_t height, bool share)
    : c_(c.get()), width_(width), height_(height) {
  std::size_t count = std::size_t{width} * height;
  // The server attaches the segment while the picture is drawn; its answer
  // is awaited only when the pixels are handed over.
  if (share) segment_ = quorvane::x11::ShmSegment::create(c, count * 4);
  if (segment_) {
    pixels_ = reinterpret_cast<std::uint32_t*>(segment_->data());
  } else {
    // Not value-initialised: every pixel is drawn anyway.
    heap_.reset(new (std::nothrow) std::uint32_t[count]);
    pixels_ = heap_.get();
  }
}

xcb_pixmap_t CoverCanvas::toPixmap(xcb_screen_t* screen, xcb_visualtype_t* visual, bool sharedPixmaps) {
  xcb_pixmap_t pixmap = xcb_generate_id(c_);
  bool viaSegment = sharedWithServer();
  if (viaSegment && sharedPixmaps) {
    if (makeSharedPixmap(pixmap, screen)) {
      release();  // the server keeps the segment while the pixmap lives
      return pixmap;
    }
    pixmap = xcb_generate_id(c_);
  }
  xcb_create_pixmap(c_, screen->root_depth, pixmap, screen->root, static_cast<std::uint16_t>(width_),
                    static_cast<std::uint16_t>(height_));
  if (viaSegment) {
    copyFromSegment(pixmap, screen);
  } else if (pixels_) {
    sendThroughSocket(pixmap, visual);
  }
  release();
  return pixmap;
}

bool CoverCanvas::makeSharedPixmap(xcb_pixmap_t pixmap, xcb_screen_t* screen) {
  // Checked: a window whose background pixmap is missing would show the
  // icons it is meant to hide.
  xcb_generic_error_t* error = xcb_request_check(
      c_, xcb_shm_create_pixmap_checked(c_, pixmap, screen->root, static_cast<std::uint16_t>(width_),
                                        static_cast<std::uint16_t>(height_), screen->root_depth, segment_->id(), 0));
  std::free(error);
  return error == nullptr;
}

void CoverCanvas::copyFromSegment(xcb_pixmap_t pixmap, xcb_screen_t* screen) {
  auto w = static_cast<std::uint16_t>(width_), h = static_cast<std::uint16_t>(height_);
  xcb_gcontext_t gc = xcb_generate_id(c_);
  std::uint32_t noExposures = 0;
  xcb_create_gc(c_, gc, pixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
  xcb_shm_put_image(c_, pixmap, gc, w, h, 0, 0, w, h, 0, 0, screen->root_depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                    segment_->id(), 0);
  xcb_free_gc(c_, gc);
}

void CoverCanvas::sendThroughSocket(xcb_pixmap_t pixmap, xcb_visualtype_t* visual) {
  // cairo converts to whatever layout the visual has and splits the
  // transfer into requests the server accepts.
  int w = static_cast<int>(width_), h = static_cast<int>(height_);
  cairo_surface_t* source = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels_),
                                                                CAIRO_FORMAT_RGB24, w, h, static_cast<int>(stride()));
  cairo_surface_t* target = cairo_xcb_surface_create(c_, pixmap, visual, w, h);
  cairo_t* up = cairo_create(target);
  cairo_set_operator(up, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(up, source, 0, 0);
  cairo_paint(up);
  cairo_destroy(up);
  cairo_surface_flush(target);
  cairo_surface_destroy(target);
  cairo_surface_destroy(source);
}

void CoverCanvas::release() {
  // The server handles requests in order, so detaching right after the
  // requests that read the segment is safe, and our own mapping can go at
  // once: the server's attachment (and any pixmap on it) keeps the memory.
  segment_.reset();
  heap_.reset();
  pixels_ = nullptr;
}

}  // namespace quorvane::desktop::x11
