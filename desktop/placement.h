// Where a wallpaper goes inside a screen, as the desktop itself places it.
#pragma once

#include <cstdint>

#include "common/channel.h"
#include "common/geometry.h"

namespace quorvane::desktop {

struct Size {
  double width = 0, height = 0;
};

// How an image is fitted to its bounds. Any value the desktop hands us that is
// not one of the first three places the image as kScaleUpOrDown does.
enum Scaling : std::uint64_t {
  kScaleDownOnly = 0,   // keep the aspect ratio, never enlarge
  kStretch = 1,         // both axes to the bounds independently
  kNaturalSize = 2,     // as is, centred
  kScaleUpOrDown = 3,   // keep the aspect ratio, enlarge or reduce
};

// The image's rectangle in bounds whose origin is (0, 0). With clipping the
// image covers the bounds and overflows; without it the whole image stays
// visible. Nothing is rounded: origins go negative where the image overflows.
Rect imageRect(Size image, Size bounds, std::uint64_t scaling, bool clipping);

// The rectangle as the object the application reads: x, y, width, height.
// Unlike boundsJson the origin stays as placed (the picture's corner, not the
// standard form's minimum), and the sizes are magnitudes.
Json rectValue(const Rect& r);

}  // namespace quorvane::desktop
