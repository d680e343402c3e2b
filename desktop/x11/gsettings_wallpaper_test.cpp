#include "desktop/x11/gsettings_wallpaper.h"

#include <gtest/gtest.h>

#include "desktop/wallpaper.h"

namespace quorvane::desktop::x11 {
namespace {

TEST(PlacementForTest, MapsEachPictureOption) {
  const struct {
    const char* word;
    std::uint64_t scaling;
    bool clipping;
  } cases[] = {{"zoom", 3, true},      {"spanned", 3, true},  {"scaled", 3, false},
               {"stretched", 1, true}, {"centered", 2, true}, {"wallpaper", 2, true}};
  for (const auto& c : cases) {
    auto p = readPlacement(placementFor(c.word, "#000000"));
    ASSERT_TRUE(p) << c.word;
    EXPECT_EQ(p->scaling, c.scaling) << c.word;
    EXPECT_EQ(p->clipping, c.clipping) << c.word;
  }
  EXPECT_FALSE(readPlacement(placementFor("sideways", "#000000")));
}

TEST(PlacementForTest, ReadsTheFillColourOrFallsBackToBlack) {
  const struct {
    const char* text;
    Color fill;
  } cases[] = {{"#ff8000", {1, 128 / 255.0, 0, 1}}, {"#0f0", {0, 1, 0, 1}},
               {"#ffff00000000", {1, 0, 0, 1}},     {"red", {0, 0, 0, 1}},
               {"#12345", {0, 0, 0, 1}},            {"#gg0000", {0, 0, 0, 1}},
               {"", {0, 0, 0, 1}}};
  for (const auto& c : cases) {
    auto p = readPlacement(placementFor("zoom", c.text));
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->fill.red, c.fill.red, 1e-9) << c.text;
    EXPECT_NEAR(p->fill.green, c.fill.green, 1e-9) << c.text;
    EXPECT_NEAR(p->fill.blue, c.fill.blue, 1e-9) << c.text;
  }
}

}  // namespace
}  // namespace quorvane::desktop::x11
