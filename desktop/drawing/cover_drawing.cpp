#include "desktop/drawing/cover_drawing.h"

#include <algorithm>
#include <cmath>

#include <cairo.h>

namespace quorvane::desktop {

namespace {

// The part of the canvas that an opaque picture covers whole pixels of: the
// fill colour is needed everywhere else only. Empty when nothing is covered.
struct PixelBox {
  int x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

PixelBox coveredPixels(double x, double y, double w, double h, int width, int height) {
  auto inward = [](double from, double to, int limit, int& lo, int& hi) {
    lo = static_cast<int>(std::ceil(std::clamp(from, 0.0, static_cast<double>(limit))));
    hi = static_cast<int>(std::floor(std::clamp(to, 0.0, static_cast<double>(limit))));
  };
  PixelBox box{};
  inward(x, x + w, width, box.x0, box.x1);
  inward(y, y + h, height, box.y0, box.y1);
  return box;
}

// Bilinear sampling weighs every source pixel only while a picture shrinks to
// no less than half its size (at one half exactly it averages 2 x 2 pixels).
// Smaller than that it would skip pixels and alias, so the picture is first
// halved as often as needed: a box filter in steps, at a small part of the
// cost of cairo's GOOD filter, whose convolution takes about 100 ms a screen
// at factors like 0.7. Returns the picture to draw (the one given, or a new
// one) and leaves in sx, sy the factors still to apply.
cairo_surface_t* halvedForScale(cairo_surface_t* picture, double& sx, double& sy) {
  constexpr double kLeast = 0.5;
  cairo_surface_t* current = cairo_surface_reference(picture);
  while (sx < kLeast || sy < kLeast) {
    int w = cairo_image_surface_get_width(current), h = cairo_image_surface_get_height(current);
    int halfW = sx < kLeast ? (w + 1) / 2 : w, halfH = sy < kLeast ? (h + 1) / 2 : h;
    if (halfW == w && halfH == h) break;  // a single pixel: nothing left to halve
    cairo_surface_t* half = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, halfW, halfH);
    if (cairo_surface_status(half) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(half);
      break;  // out of memory: draw what there is
    }
    double fx = static_cast<double>(halfW) / w, fy = static_cast<double>(halfH) / h;
    cairo_t* cr = cairo_create(half);
    cairo_scale(cr, fx, fy);
    cairo_set_source_surface(cr, current, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(current);
    current = half;
    sx /= fx;
    sy /= fy;
  }
  return current;
}

}  // namespace

CoverPicture coverPicture(const CoverPlan& plan, const CoverRect& window) {
  return {plan.image.get(), plan.placed,     plan.fill,        plan.frame.width,
          plan.frame.height, window.pictureX, window.pictureY};
}

CoverRect canvasRect(const CoverPicture& p) {
  return {0, 0, p.screenWidth + 1, p.screenHeight + 1, p.pictureX, p.pictureY};
}

void drawCover(const CoverPlan& plan, const CoverRect& rect, std::uint32_t* pixels, std::size_t stride) {
  int w = static_cast<int>(rect.width), h = static_cast<int>(rect.height);
  cairo_surface_t* canvas = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                                CAIRO_FORMAT_RGB24, w, h, static_cast<int>(stride));
  cairo_t* cr = cairo_create(canvas);
  const Bitmap& b = *plan.image;
  double px = plan.placed.x + rect.pictureX, py = plan.placed.y + rect.pictureY;

  // The fill goes where the picture leaves anything of the background to see:
  // around an opaque picture only, which saves a pass over every pixel.
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, plan.fill.red, plan.fill.green, plan.fill.blue, plan.fill.alpha);
  cairo_rectangle(cr, 0, 0, w, h);
  PixelBox covered = coveredPixels(px, py, plan.placed.width, plan.placed.height, w, h);
  if (b.opaque && !covered.empty()) {
    cairo_rectangle(cr, covered.x0, covered.y0, covered.x1 - covered.x0, covered.y1 - covered.y0);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  }
  cairo_fill(cr);

  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_surface_t* decoded = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(b.pixels.get()), CAIRO_FORMAT_ARGB32,
      static_cast<int>(b.width), static_cast<int>(b.height), static_cast<int>(b.width * 4));
  double sx = plan.placed.width / b.width, sy = plan.placed.height / b.height;
  cairo_surface_t* picture = halvedForScale(decoded, sx, sy);
  cairo_rectangle(cr, px, py, plan.placed.width, plan.placed.height);
  cairo_clip(cr);
  cairo_translate(cr, px, py);
  cairo_scale(cr, sx, sy);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(picture);
  cairo_surface_destroy(decoded);
  cairo_surface_flush(canvas);
  cairo_surface_destroy(canvas);
}

std::size_t CoverDrawings::draw(const CoverPlan& plan, const CoverPicture& picture, const CoverRect& rect,
                                const std::function<Canvas()>& canvas) {
  for (std::size_t i = 0; i < drawings_.size(); ++i) {
    if (drawings_[i].picture == picture) return i;
  }
  drawings_.push_back({picture, plan.image, {}});
  Canvas target = canvas();
  if (!target.pixels) return drawings_.size() - 1;
  auto work = [plan, rect, target] { drawCover(plan, rect, target.pixels, target.stride); };
  try {
    drawings_.back().thread = spawn_ ? spawn_(work) : std::thread(work);
  } catch (...) {
    work();  // no thread (or no memory for one): slower, but the same picture
  }
  return drawings_.size() - 1;
}

void CoverDrawings::finish() {
  for (Drawing& d : drawings_) {
    if (d.thread.joinable()) d.thread.join();
  }
  drawings_.clear();
}

}  // namespace quorvane::desktop
