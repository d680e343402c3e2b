// The wallpaper Plasma draws on a screen: its desktop containment's wallpaper
// settings in plasma-org.kde.plasma.desktop-appletsrc (a KConfig file under
// ~/.config), and how its fill mode maps to our placement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/mask_platform.h"

namespace quorvane::desktop::kde {

inline constexpr char kAppletsFile[] = "plasma-org.kde.plasma.desktop-appletsrc";
inline constexpr char kActivitiesFile[] = "kactivitymanagerdrc";
inline constexpr char kImagePlugin[] = "org.kde.image";
inline constexpr char kColorPlugin[] = "org.kde.color";

struct PlasmaWallpaper {
  std::string plugin;    // org.kde.image, org.kde.color, org.kde.slideshow...
  std::string image;     // as written: a file URL, a path, or a wallpaper package's folder; "" for none
  std::string fillMode;  // as written; "" when the key is absent
  std::string color;     // as written ("r,g,b" or "#rrggbb"); "" when absent
  bool operator==(const PlasmaWallpaper&) const = default;
};

// The wallpaper of the desktop containment Plasma shows on its screen number
// `screen` (0 is Plasma's first screen), in `activity` when more than one
// containment serves that screen; nullopt when no desktop containment does.
std::optional<PlasmaWallpaper> plasmaWallpaper(std::string_view appletsrc, int screen, std::string_view activity);

// The current activity's id in kactivitymanagerdrc; "" when not set.
std::string currentActivity(std::string_view kactivitymanagerdrc);

// Our placement for the fill mode (Qt's Image.fillMode numbers Plasma keeps)
// and background colour; an unknown mode keeps its text as the scaling option,
// which the placement then refuses, as an unknown desktop word is.
PlacementOptions plasmaPlacement(const PlasmaWallpaper& wallpaper);

// A KConfig colour: "r,g,b", "r,g,b,a" (0..255) or "#rrggbb"; nullopt otherwise.
std::optional<Color> parsePlasmaColor(std::string_view text);

// Which picture of a wallpaper package's contents/images/ (files named
// "WIDTHxHEIGHT.ext") suits a screen: the one closest in shape among those at
// least as large, else the largest; nullopt when no name gives a size.
std::optional<std::string> packageImage(const std::vector<std::string>& names, std::uint32_t width,
                                        std::uint32_t height);

// What to draw on a screen, read from the configuration folder (~/.config):
// the picture's path (a package resolved to one of its pictures, a file URL
// to its path) and the placement; nullopt for no desktop containment, another
// plugin (a slideshow...) or no picture set.
struct PlasmaChoice {
  std::string file;  // "" with the colour plugin: the placement's colour only
  PlacementOptions placement;
};
std::optional<PlasmaChoice> readPlasmaWallpaper(const std::string& configHome, int screen, std::uint32_t width,
                                                std::uint32_t height);

}  // namespace quorvane::desktop::kde
