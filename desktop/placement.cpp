#include "desktop/placement.h"

#include <algorithm>
#include <cmath>

namespace quorvane::desktop {

namespace {

double proportionalFactor(Size image, Size bounds, std::uint64_t scaling, bool clipping) {
  double sx = bounds.width / image.width;
  double sy = bounds.height / image.height;
  // Clipping covers the bounds (the larger factor); otherwise the whole image fits (the smaller).
  double s = clipping ? (sx <= sy ? sy : sx) : (sy < sx ? sy : sx);
  if (scaling == kScaleDownOnly) s = std::min(s, 1.0);
  return s;
}

}  // namespace

Rect imageRect(Size image, Size bounds, std::uint64_t scaling, bool clipping) {
  double w, h;
  if (scaling == kStretch) {
    w = bounds.width;
    h = bounds.height;
  } else if (scaling == kNaturalSize) {
    w = image.width;
    h = image.height;
  } else {
    double s = proportionalFactor(image, bounds, scaling, clipping);
    w = image.width * s;
    h = image.height * s;
  }
  return {(bounds.width - w) * 0.5, (bounds.height - h) * 0.5, w, h};
}

Json rectValue(const Rect& r) {
  return Json{{"x", jsonNumber(r.x)},
              {"y", jsonNumber(r.y)},
              {"width", jsonNumber(std::fabs(r.width))},
              {"height", jsonNumber(std::fabs(r.height))}};
}

}  // namespace quorvane::desktop
