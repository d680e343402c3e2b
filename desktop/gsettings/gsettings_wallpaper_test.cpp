#include "desktop/gsettings/gsettings_wallpaper.h"

#include <gtest/gtest.h>
#include <tuple>

namespace quorvane::desktop::gsettings {
namespace {

// Where an answer points: "url ...", "blue" (the only colour used here), "no picture"; "no answer" for none.
std::string source(const std::optional<WallpaperChoice>& choice) {
  if (!choice) return "no answer";
  if (auto* url = std::get_if<WallpaperUrl>(&choice->source)) return "url " + url->url;
  if (auto* plain = std::get_if<PlainColor>(&choice->source)) return plain->color == Color{0, 0, 1, 1} ? "blue" : "?";
  return "no picture";
}

TEST(GSettingsWallpaperTest, TheUsersChoiceAndTheDefaultPictureElseItsColour) {
  const PlacementOptions kZoom{double{kScaleUpOrDown}, true, Color{0, 0, 1, 1}}, kStretch1{double{kStretch}, {}, {}};
  const PlacementOptions kNone{std::string("none"), std::nullopt, Color{0, 0, 1, 1}};
  const struct { const char* name; std::optional<DesktopBackground> background; std::string chosen, fallback;
                 std::optional<PlacementOptions> chosenOptions, fallbackOptions; } cases[] = {
      {"no schema", std::nullopt, "no answer", "no answer", {}, {}},
      {"chosen", DesktopBackground{"file:///a", "zoom", "#0000ff", true}, "url file:///a", "url file:///a", kZoom,
       kZoom},
      {"the default", DesktopBackground{"file:///a", "zoom", "#0000ff", false}, "no answer", "url file:///a", {},
       kZoom},
      {"chosen none", DesktopBackground{"file:///a", "none", "#0000ff", true}, "no picture", "blue", kNone, kStretch1},
      {"chosen, no URI", DesktopBackground{"", "zoom", "#0000ff", true}, "no picture", "blue", kZoom, kStretch1},
      {"no picture, no colour", DesktopBackground{"", "zoom", "blue", false}, "no answer", "no answer", {}, {}},
  };
  for (const auto& c : cases) {
    auto chosen = chosenWallpaper(c.background), fallback = defaultWallpaper(c.background);
    EXPECT_EQ(std::tuple(source(chosen), source(fallback)), std::tuple(c.chosen, c.fallback)) << c.name;
    EXPECT_EQ(chosen ? chosen->options : std::nullopt, c.chosenOptions) << c.name;
    EXPECT_EQ(fallback ? fallback->options : std::nullopt, c.fallbackOptions) << c.name;
  }
}

}  // namespace
}  // namespace quorvane::desktop::gsettings
