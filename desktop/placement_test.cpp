#include "desktop/placement.h"

#include <gtest/gtest.h>

namespace quorvane::desktop {
namespace {

TEST(ImageRectTest, PlacesAsTheDesktopDoes) {
  const struct {
    Size image, bounds;
    std::uint64_t scaling;
    bool clipping;
    Rect expected;
  } cases[] = {
      // Up-or-down: clipping covers, otherwise fits with bands.
      {{200, 100}, {100, 100}, 3, true, {-50, 0, 200, 100}},
      {{200, 100}, {100, 100}, 3, false, {0, 25, 100, 50}},
      {{50, 25}, {100, 100}, 3, false, {0, 25, 100, 50}},
      {{50, 25}, {100, 100}, 3, true, {-50, 0, 200, 100}},
      // Down-only never enlarges, whatever clipping says.
      {{50, 25}, {100, 100}, 0, true, {25, 37.5, 50, 25}},
      {{50, 25}, {100, 100}, 0, false, {25, 37.5, 50, 25}},
      {{400, 100}, {100, 100}, 0, false, {0, 37.5, 100, 25}},
      {{400, 100}, {100, 100}, 0, true, {-150, 0, 400, 100}},
      // Stretch and natural size ignore clipping.
      {{200, 100}, {100, 100}, 1, true, {0, 0, 100, 100}},
      {{200, 100}, {100, 100}, 1, false, {0, 0, 100, 100}},
      {{200, 100}, {100, 100}, 2, true, {-50, 0, 200, 100}},
      {{200, 100}, {100, 100}, 2, false, {-50, 0, 200, 100}},
      {{30, 20}, {100, 100}, 2, false, {35, 40, 30, 20}},
      // Unknown modes place like up-or-down.
      {{200, 100}, {100, 100}, 7, true, {-50, 0, 200, 100}},
      {{200, 100}, {100, 100}, 7, false, {0, 25, 100, 50}},
      // A wide wallpaper on a real monitor: fractional origins stay fractional.
      {{5120, 2880}, {1920, 1080}, 3, true, {0, 0, 1920, 1080}},
      {{1000, 3}, {1280, 800}, 3, false, {0, 398.08, 1280, 3.84}},
  };
  for (const auto& c : cases) {
    Rect r = imageRect(c.image, c.bounds, c.scaling, c.clipping);
    SCOPED_TRACE(testing::Message() << c.image.width << "x" << c.image.height << " in " << c.bounds.width << "x"
                                    << c.bounds.height << " scaling " << c.scaling << " clip " << c.clipping);
    EXPECT_DOUBLE_EQ(r.x, c.expected.x);
    EXPECT_DOUBLE_EQ(r.y, c.expected.y);
    EXPECT_DOUBLE_EQ(r.width, c.expected.width);
    EXPECT_DOUBLE_EQ(r.height, c.expected.height);
  }
}

TEST(RectValueTest, WritesWholeNumbersAsIntegersAndSizesAsMagnitudes) {
  EXPECT_EQ(rectValue({-50, 0, 200, 100}).dump(), R"({"height":100,"width":200,"x":-50,"y":0})");
  EXPECT_EQ(rectValue({0.5, 37.5, -4, -2.25}).dump(), R"({"height":2.25,"width":4,"x":0.5,"y":37.5})");
}

}  // namespace
}  // namespace quorvane::desktop
