#include "input/scroll/scroll_rules.h"

#include <cmath>
#include <gtest/gtest.h>

#include "input/fake_platform.h"

namespace quorvane::input {
namespace {

TEST(ScrollRulesTest, ValidScrollRect) {
  const double inf = INFINITY, nan = NAN;
  const struct {
    Rect r;
    bool valid;
  } cases[] = {
      {{0, 0, 1, 1}, true},       {{0.1, 0.1, 0.8, 0.8}, true}, {{0.75, 0, -0.5, 1}, true},
      {{1, 1, -1, -1}, true},     {{0.5, 0, 0.6, 1}, false},    {{0, 0, 0, 1}, false},
      {{0, 0, 1, 0}, false},      {{-0.1, 0, 0.5, 0.5}, false}, {{0, -0.1, 0.5, 0.5}, false},
      {{0.25, 0, -0.5, 1}, false}, {{0, 0.5, 1, 0.5000001}, false},
      {{nan, 0, 1, 1}, false},    {{0, 0, inf, 1}, false},      {{0, 0, 1, -inf}, false},
      {{0, nan, 1, 1}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(validScrollRect(c.r), c.valid) << c.r.x << "," << c.r.y << "," << c.r.width << "," << c.r.height;
  }
}

TEST(ScrollRulesTest, TopScrollWindowLooksOnlyAtTheHitProcess) {
  const Point p{50, 50};
  WindowDescription target = normalWindow(1, 101, {0, 0, 100, 100});
  WindowDescription otherApp = normalWindow(2, 202, {0, 0, 100, 100});
  WindowDescription elsewhere = normalWindow(3, 101, {200, 0, 100, 100});
  WindowDescription desktop = normalWindow(4, 101, {0, 0, 100, 100});
  desktop.set(WindowKey::Layer, std::int64_t{-20});
  WindowDescription invisible = normalWindow(5, 101, {0, 0, 100, 100});
  invisible.set(WindowKey::Alpha, 0.0);
  WindowDescription unnumbered = normalWindow(6, 101, {0, 0, 100, 100});
  unnumbered.set(WindowKey::Number, std::string("6"));
  WindowDescription edge = normalWindow(7, 101, {0, 0, 50, 50});  // maximum edges are outside

  using L = WindowList;
  EXPECT_EQ(topScrollWindow(101, L{otherApp, target}, p), 1u);
  EXPECT_EQ(topScrollWindow(202, L{otherApp, target}, p), 2u);
  EXPECT_EQ(topScrollWindow(101, L{elsewhere, desktop, invisible, edge, target}, p), 1u);
  EXPECT_EQ(topScrollWindow(101, L{unnumbered, target}, p), std::nullopt);  // the first hit decides
  EXPECT_EQ(topScrollWindow(std::nullopt, L{target}, p), std::nullopt);
  EXPECT_EQ(topScrollWindow(101, L{}, p), std::nullopt);
  EXPECT_EQ(topScrollWindow(303, L{target}, p), std::nullopt);
}

TEST(ScrollRulesTest, SelfTestMessage) {
  EXPECT_EQ(scrollSelfTest().dump(),
            R"({"covered":false,"interactiveOverlay":true,"invalid":false,"missingHit":true,)"
            R"("noninteractiveOverlay":true,"outside":false,"sameAppOverlay":true,"transparent":true,"valid":true})");
}

}  // namespace
}  // namespace quorvane::input
