#include "common/geometry.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(GeometryTest, BoundsAreWrittenInStandardFormAndContainTheirMinimumEdgesOnly) {
  EXPECT_EQ(boundsJson(Rect{10, 20, -4, -6}).dump(), R"({"height":6,"width":4,"x":6,"y":14})");
  EXPECT_EQ(boundsJson(Rect{0.5, 0, 2, 1}).dump(), R"({"height":1,"width":2,"x":0.5,"y":0})");
  const struct { Rect r; Point p; bool inside; } cases[] = {
      {{0, 0, 10, 10}, {0, 0}, true}, {{0, 0, 10, 10}, {10, 5}, false}, {{0, 0, 10, 10}, {5, 10}, false},
      {{10, 10, -10, -10}, {0, 9.5}, true}, {{10, 10, -10, -10}, {10, 0}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.r.contains(c.p), c.inside) << c.p.x << " " << c.p.y;
}

}  // namespace
}  // namespace quorvane
