#include "desktop/wayland/sway_wallpaper.h"

#include <gtest/gtest.h>

namespace quorvane::desktop::wayland {
namespace {

TEST(SwayPlacementTest, ModesMapToTheDesktopPlacements) {
  // An unknown mode keeps its word as the scaling option, which the placement then refuses.
  const struct { const char* mode; OptionValue scaling; std::optional<OptionValue> clipping; } cases[] = {
      {"fill", double{kScaleUpOrDown}, true}, {"fit", double{kScaleUpOrDown}, false},
      {"stretch", double{kStretch}, true}, {"center", double{kNaturalSize}, true}, {"tile", double{kNaturalSize}, true},
      {"solid_color", double{kStretch}, true}, {"sideways", std::string("sideways"), std::nullopt}};
  for (const auto& c : cases) {
    PlacementOptions expected{c.scaling, c.clipping, OptionValue(Color{1, 0, 0, 1})};
    EXPECT_EQ(swayPlacement({"/a.png", c.mode, "#ff0000"}), expected) << c.mode;
  }
}

TEST(SwayWallpaperTest, AFileBecomesAFileUriAndAColourAPlainColour) {
  // Where the wallpaper comes from, as "url ..." or "color r,g,b", or "none".
  auto source = [](const WallpaperSource& s) -> std::string {
    if (auto* url = std::get_if<WallpaperUrl>(&s)) return "url " + url->url;
    auto* plain = std::get_if<PlainColor>(&s);
    if (!plain) return "none";
    return "color " + std::to_string(plain->color.red) + "," + std::to_string(plain->color.blue);
  };
  const struct { SwayBackground background; std::string expected; } cases[] = {
      {{"/home/u/My Pictures/a b.png", "fill", ""}, "url file:///home/u/My%20Pictures/a%20b.png"},
      {{"relative.png", "fill", ""}, "none"},
      {{"", "solid_color", "#0000ff"}, "color 0.000000,1.000000"},
      {{"", "solid_color", "blue"}, "none"},
  };
  for (const auto& c : cases) {
    WallpaperChoice choice = swayWallpaper(c.background);
    EXPECT_EQ(source(choice.source), c.expected) << c.background.file;
    EXPECT_EQ(choice.options, swayPlacement(c.background)) << c.background.file;
  }
}

}  // namespace
}  // namespace quorvane::desktop::wayland
