#include <cmath>
#include <gtest/gtest.h>

#include "desktop/placement.h"

namespace quorvane::desktop {
namespace {

TEST(PlacementTest, PlacesAsTheDesktopDoes) {
  // Down-only never enlarges; stretch and natural size ignore clipping; unknown modes place like up-or-down.
  const struct { Size image, bounds; std::uint64_t scaling; bool clipping; Rect expected; } cases[] = {
      {{50, 25}, {100, 100}, 3, false, {0, 25, 100, 50}}, {{50, 25}, {100, 100}, 3, true, {-50, 0, 200, 100}},
      {{50, 25}, {100, 100}, 0, true, {25, 37.5, 50, 25}}, {{400, 100}, {100, 100}, 0, false, {0, 37.5, 100, 25}},
      {{200, 100}, {100, 100}, 1, false, {0, 0, 100, 100}}, {{30, 20}, {100, 100}, 2, true, {35, 40, 30, 20}},
      {{200, 100}, {100, 100}, 7, true, {-50, 0, 200, 100}},
      {{1000, 3}, {1280, 800}, 3, false, {0, 398.08, 1280, 3.84}}};
  for (const auto& c : cases) {
    Rect r = imageRect(c.image, c.bounds, c.scaling, c.clipping), e = c.expected;
    EXPECT_LT(std::abs(r.x - e.x) + std::abs(r.y - e.y) + std::abs(r.width - e.width) + std::abs(r.height - e.height),
              1e-9)
        << c.image.width << "x" << c.image.height << " scaling " << c.scaling << " clip " << c.clipping;
  }
}

}  // namespace
}  // namespace quorvane::desktop
