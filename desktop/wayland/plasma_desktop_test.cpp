#include "desktop/wayland/plasma_desktop.h"

#include <gtest/gtest.h>

namespace quorvane::desktop::wayland {
namespace {

TEST(PlasmaScreenTest, AnOutputsNumberIsItsPlaceInKWinsOrder) {
  const std::vector<std::string> order = {"DP-2", "eDP-1", "HDMI-A-1"};
  using Number = std::optional<int>;
  EXPECT_EQ(std::make_tuple(plasmaScreen(order, "DP-2"), plasmaScreen(order, "HDMI-A-1"), plasmaScreen(order, "DP-1"),
                            plasmaScreen({}, "DP-2")),
            std::make_tuple(Number(0), Number(2), Number(), Number()));
}

TEST(PlasmaWallpaperChoiceTest, APictureBecomesAFileUrlAndTheColourPluginAPlainColour) {
  // Where the wallpaper comes from, as "url ..." or "color r,g,b", or "none".
  auto source = [](const WallpaperSource& s) -> std::string {
    if (auto* url = std::get_if<WallpaperUrl>(&s)) return "url " + url->url;
    auto* plain = std::get_if<PlainColor>(&s);
    if (!plain) return "none";
    return "color " + std::to_string(plain->color.red) + "," + std::to_string(plain->color.blue);
  };
  const auto withColor = [](std::optional<OptionValue> color) {
    return PlacementOptions{double{kStretch}, true, std::move(color)};
  };
  const struct { kde::PlasmaChoice choice; std::string expected; } cases[] = {
      {{"/home/u/Bilder/a b.jpg", withColor(Color{0, 0, 0, 1})}, "url file:///home/u/Bilder/a%20b.jpg"},
      {{"", withColor(Color{1, 0, 0.5, 1})}, "color 1.000000,0.500000"},
      {{"", withColor(std::string("lila"))}, "none"},
      {{"", withColor(std::nullopt)}, "none"},
  };
  for (const auto& c : cases) {
    WallpaperChoice answer = plasmaWallpaper(c.choice);
    EXPECT_EQ(std::make_tuple(source(answer.source), answer.options),
              std::make_tuple(c.expected, std::optional(c.choice.placement)))
        << c.expected;
  }
}

}  // namespace
}  // namespace quorvane::desktop::wayland
