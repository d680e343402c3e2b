#include <cmath>
#include <gtest/gtest.h>

#include "input/x11/window_system.h"

namespace quorvane::input::x11 {
namespace {

TEST(AutomationTest, PointsOutsideXCoordinatesHitNothing) {
  EXPECT_EQ(pixelOf({10.7, -3.2}), (std::pair<int, int>{10, -4}));
  EXPECT_EQ(pixelOf({-32768, 32767.9}), (std::pair<int, int>{-32768, 32767}));
  for (Point far : {Point{1e12, 0}, Point{0, -32769}, Point{32768, 0}, Point{NAN, 0}, Point{0, INFINITY}}) {
    EXPECT_EQ(pixelOf(far), std::nullopt) << far.x << " " << far.y;
  }
}

}  // namespace
}  // namespace quorvane::input::x11
