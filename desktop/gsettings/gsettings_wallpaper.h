// The wallpaper GNOME-style desktops keep in GSettings
// (org.gnome.desktop.background), and how its placement maps to ours.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "desktop/mask_platform.h"

namespace quorvane::desktop::gsettings {

struct DesktopBackground {
  std::string uri;
  std::string pictureOptions;  // zoom, scaled, stretched, centered, wallpaper, spanned, none
  std::string primaryColor;    // "#rrggbb"
  bool userChosen = false;     // set by the user, not the schema's default
};

// nullopt when the schema is not installed. The dark picture wins when the
// desktop prefers a dark style and one is set.
std::optional<DesktopBackground> readDesktopBackground();

// The picture the user chose, if they chose one: a choice of no picture
// ("none", or no URI) is a choice too.
std::optional<WallpaperChoice> chosenWallpaper(const std::optional<DesktopBackground>& background);
// The desktop's default: its picture, else its primary colour.
std::optional<WallpaperChoice> defaultWallpaper(const std::optional<DesktopBackground>& background);

// The placement the desktop applies for a picture-options word; an unknown
// word gives a scaling option of another kind.
PlacementOptions placementFor(std::string_view pictureOptions, std::string_view primaryColor);

// "#rgb", "#rrggbb" or "#rrrrggggbbbb"; nullopt for anything else.
std::optional<Color> parseColor(std::string_view text);

}  // namespace quorvane::desktop::gsettings
