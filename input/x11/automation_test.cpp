#include <cmath>
#include <gtest/gtest.h>

#include "input/x11/window_system.h"

namespace quorvane::input::x11 {
namespace {

TEST(AutomationTest, PointsOutsideXCoordinatesHitNothingAndWheelClicksNeverOvershoot) {
  EXPECT_EQ(pixelOf({10.7, -3.2}), (std::pair<int, int>{10, -4}));
  EXPECT_EQ(pixelOf({-32768, 32767.9}), (std::pair<int, int>{-32768, 32767}));
  for (Point far : {Point{1e12, 0}, Point{0, -32769}, Point{32768, 0}, Point{NAN, 0}, Point{0, INFINITY}}) {
    EXPECT_EQ(pixelOf(far), std::nullopt) << far.x << " " << far.y;
  }
  for (auto [pixels, clicks] : {std::pair{1, 1}, {99, 1}, {199, 1}, {200, 2}, {500, 5}}) {
    EXPECT_EQ(wheelClicks(pixels), clicks) << pixels;
  }
}

}  // namespace
}  // namespace quorvane::input::x11
