#include "desktop/wayland/sway_wallpaper.h"

#include <gtest/gtest.h>

namespace quorvane::desktop::wayland {
namespace {

// The background as "file|mode|color", or "none".
std::string summary(const std::optional<SwayBackground>& b) { return b ? b->file + "|" + b->mode + "|" + b->color : "none"; }

TEST(SwayBackgroundTest, PicksTheLinesSwayAppliesToTheOutput) {
  const struct { const char* name; const char* config; const char* output; const char* expected; } cases[] = {
      {"wildcard", "output * bg /w.png fill\n", "HEADLESS-1", "/w.png|fill|"},
      {"named beats wildcard in any order", "output HEADLESS-1 bg /a.png fit #102030\noutput * bg /w.png fill\n",
       "HEADLESS-1", "/a.png|fit|#102030"},
      {"another output's line", "output HEADLESS-2 bg /a.png fill\n", "HEADLESS-1", "none"},
      {"the last line wins", "output * bg /a.png fill\noutput * background /b.png center\n", "X", "/b.png|center|"},
      {"after other subcommands", "output X resolution 800x600 position 0,0 bg /a.png tile", "X", "/a.png|tile|"},
      {"solid colour", "output * bg #336699 solid_color\n", "X", "|solid_color|#336699"},
      {"no mode is stretch", "output * bg /a.png\n", "X", "/a.png|stretch|"},
      {"quotes and home", "output * bg \"~/My Pictures/a b.png\" fill\n", "X", "/home/u/My Pictures/a b.png|fill|"},
      {"variables, longest name first", "set $wall /w\nset $wallpaper /p.png\noutput * bg $wallpaper fill\n", "X",
       "/p.png|fill|"},
      {"a block", "output X {\n  mode 800x600\n  bg /blk.png fit\n}\noutput * bg /w.png fill\n", "X", "/blk.png|fit|"},
      {"after a block closes", "output Y {\n  bg /y.png fill\n}\nbg /not-output.png fill\n", "X", "none"},
      {"comments and no bg", "# output * bg /c.png fill\noutput * resolution 800x600\n", "X", "none"},
      {"bg without arguments", "output * bg\n", "X", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(summary(swayBackground(c.config, c.output, "/home/u")), c.expected) << c.name;
}

TEST(SwayPlacementTest, ModesMapToTheDesktopPlacements) {
  // An unknown mode keeps its word as the scaling option, which the placement then refuses.
  const struct { const char* mode; OptionValue scaling; std::optional<OptionValue> clipping; } cases[] = {
      {"fill", double{kScaleUpOrDown}, true}, {"fit", double{kScaleUpOrDown}, false}, {"stretch", double{kStretch}, true},
      {"center", double{kNaturalSize}, true}, {"tile", double{kNaturalSize}, true},   {"solid_color", double{kStretch}, true},
      {"sideways", std::string("sideways"), std::nullopt}};
  for (const auto& c : cases) {
    PlacementOptions o = swayPlacement({"/a.png", c.mode, "#ff0000"});
    EXPECT_TRUE(o.scaling == c.scaling && o.clipping == c.clipping && o.fillColor == OptionValue(Color{1, 0, 0, 1})) << c.mode;
  }
}

TEST(SwayConfigTest, TakesTheConfigurationTextOfAValidReplyOnly) {
  const struct { const char* reply; std::optional<std::string> expected; } cases[] = {
      {R"({"config":"output * bg /a.png fill\n"})", "output * bg /a.png fill\n"},
      {"{config", std::nullopt},
      {R"({"config":1})", std::nullopt},
      {R"(["config"])", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(swayConfigText(c.reply), c.expected) << c.reply;
}

}  // namespace
}  // namespace quorvane::desktop::wayland
