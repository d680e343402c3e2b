#include "desktop/gsettings/gsettings_wallpaper.h"

#include <gtest/gtest.h>
#include <tuple>

namespace quorvane::desktop::gsettings {
namespace {

// Where a wallpaper answer points, as "url ...", "color r g b" or "no picture"; "no answer" for none.
std::string source(const std::optional<WallpaperChoice>& choice) {
  if (!choice) return "no answer";
  if (auto* url = std::get_if<WallpaperUrl>(&choice->source)) return "url " + url->url;
  if (auto* plain = std::get_if<PlainColor>(&choice->source)) {
    const Color& c = plain->color;
    return "color " + std::to_string(int(c.red * 255)) + " " + std::to_string(int(c.green * 255)) + " " +
           std::to_string(int(c.blue * 255));
  }
  return "no picture";
}

TEST(GSettingsWallpaperTest, TheUsersChoiceAndTheDefaultPictureElseItsColour) {
  const PlacementOptions kZoom{double{kScaleUpOrDown}, true, Color{0, 0, 1, 1}};
  const PlacementOptions kNone{std::string("none"), std::nullopt, Color{0, 0, 1, 1}};
  const PlacementOptions kStretchAlone{double{kStretch}, {}, {}};
  const struct { const char* name; std::optional<DesktopBackground> background; std::string chosen, fallback;
                 std::optional<PlacementOptions> chosenOptions, fallbackOptions; } cases[] = {
      {"no schema", std::nullopt, "no answer", "no answer", {}, {}},
      {"chosen", DesktopBackground{"file:///a.png", "zoom", "#0000ff", true}, "url file:///a.png", "url file:///a.png",
       kZoom, kZoom},
      {"the default", DesktopBackground{"file:///a.png", "zoom", "#0000ff", false}, "no answer", "url file:///a.png",
       {}, kZoom},
      {"chosen none", DesktopBackground{"file:///a.png", "none", "#0000ff", true}, "no picture", "color 0 0 255",
       kNone, kStretchAlone},
      {"chosen without a picture", DesktopBackground{"", "zoom", "#0000ff", true}, "no picture", "color 0 0 255", kZoom,
       kStretchAlone},
      {"no picture and no colour", DesktopBackground{"", "zoom", "red", false}, "no answer", "no answer", {}, {}},
  };
  for (const auto& c : cases) {
    auto chosen = chosenWallpaper(c.background), fallback = defaultWallpaper(c.background);
    EXPECT_EQ(std::tuple(source(chosen), source(fallback)), std::tuple(c.chosen, c.fallback)) << c.name;
    if (chosen) {
      EXPECT_EQ(chosen->options, c.chosenOptions) << c.name;
    }
    if (fallback) {
      EXPECT_EQ(fallback->options, c.fallbackOptions) << c.name;
    }
  }
}

TEST(GSettingsWallpaperTest, PictureOptionsAndColoursAsTheDesktopReadsThem) {
  const struct { const char* word; OptionValue scaling; std::optional<OptionValue> clipping; } modes[] = {
      {"zoom", double{kScaleUpOrDown}, true}, {"spanned", double{kScaleUpOrDown}, true},
      {"scaled", double{kScaleUpOrDown}, false}, {"stretched", double{kStretch}, true},
      {"centered", double{kNaturalSize}, true}, {"wallpaper", double{kNaturalSize}, true},
      {"none", std::string("none"), std::nullopt}, {"Zoom", std::string("Zoom"), std::nullopt}};
  for (const auto& m : modes) {
    EXPECT_EQ(placementFor(m.word, ""), (PlacementOptions{m.scaling, m.clipping, std::nullopt})) << m.word;
  }
  EXPECT_EQ(placementFor("zoom", "dark blue").fillColor, OptionValue(std::string("dark blue")));  // not a colour
  const struct { const char* text; std::optional<Color> color; } colours[] = {
      {"#f00", Color{1, 0, 0, 1}}, {"#00FF00", Color{0, 1, 0, 1}}, {"#00000000ffff", Color{0, 0, 1, 1}},
      {"#ff000", std::nullopt}, {"ff0000", std::nullopt}, {"#gg0000", std::nullopt}, {"", std::nullopt},
      {"#", std::nullopt}};
  for (const auto& c : colours) EXPECT_EQ(parseColor(c.text), c.color) << c.text;
}

}  // namespace
}  // namespace quorvane::desktop::gsettings
