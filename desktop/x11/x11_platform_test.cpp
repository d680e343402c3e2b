#include "desktop/x11/x11_platform.h"

#include <gtest/gtest.h>

namespace quorvane::desktop::x11 {
namespace {

TEST(CoverRectTest, GrowsPastAFreeRootEdgeAndKeepsThePictureInPlace) {
  const struct {
    Screen frame;
    std::uint32_t rootW, rootH;
    CoverRect expected;
  } cases[] = {
      {{0, 0, 1280, 800}, 1280, 800, {0, 0, 1281, 800, 0, 0}},           // alone: off the right edge
      {{1280, 0, 1280, 800}, 2560, 800, {1280, 0, 1281, 800, 0, 0}},     // right of two
      {{0, 0, 1280, 800}, 2560, 800, {0, 0, 1280, 801, 0, 0}},           // left of two: off the bottom
      {{0, 0, 1280, 800}, 2560, 1600, {-1, 0, 1281, 800, 1, 0}},         // top-left of four: off the left
      {{1280, 0, 1280, 800}, 3840, 1600, {1280, -1, 1280, 801, 0, 1}},   // top middle: off the top
      {{1280, 800, 1280, 800}, 3840, 2400, {1280, 800, 1281, 800, 0, 0}},  // enclosed
  };
  for (const auto& c : cases) {
    CoverRect r = coverRect(c.frame, c.rootW, c.rootH);
    SCOPED_TRACE(testing::Message() << c.frame.x << "," << c.frame.y << " in " << c.rootW << "x" << c.rootH);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
    // The screen's picture still starts at the screen's own corner.
    EXPECT_EQ(r.x + r.pictureX, c.frame.x);
    EXPECT_EQ(r.y + r.pictureY, c.frame.y);
  }
}

}  // namespace
}  // namespace quorvane::desktop::x11
