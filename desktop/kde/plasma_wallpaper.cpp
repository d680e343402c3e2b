#include "desktop/kde/plasma_wallpaper.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>


namespace quorvane::desktop::kde {

namespace {

namespace fs = std::filesystem;

// A configuration file far larger than any Plasma writes is not read.
constexpr std::uintmax_t kMaxConfigBytes = 4 << 20;
// A wallpaper package lists a dozen sizes; a folder with more is not searched further.
constexpr std::size_t kMaxPackageEntries = 512;
// Plasma's image wallpaper default: Qt's Image.PreserveAspectCrop.
constexpr char kDefaultFillMode[] = "2";

using Group = std::map<std::string, std::string>;
using Groups = std::map<std::vector<std::string>, Group>;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// KConfig's escapes in values: \s \t \n \r \\ \xHH.
std::string unescaped(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (const char c = value[++i]) {
      case 's': out += ' '; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x':
        if (i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 && hexDigit(value[i + 2]) >= 0) {
          out += static_cast<char>(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2]));
          i += 2;
        } else {
          out += c;
        }
        break;
      default: out += c;
    }
  }
  return out;
}

// A file URL (percent-escapes decoded) or a plain path, as a path.
std::string pathOf(const std::string& image) {
  if (image.rfind("file://", 0) != 0) return image;
  std::string out;
  for (std::size_t i = 7; i < image.size(); ++i) {
    if (image[i] == '%' && i + 2 < image.size() && hexDigit(image[i + 1]) >= 0 && hexDigit(image[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(image[i + 1]) * 16 + hexDigit(image[i + 2]));
      i += 2;
    } else {
      out += image[i];
    }
  }
  return out;
}

// "[a][b][c]" as {"a", "b", "c"}; empty for a malformed header.
std::vector<std::string> groupPath(std::string_view line) {
  std::vector<std::string> path;
  while (!line.empty()) {
    const auto close = line.find(']');
    if (line.front() != '[' || close == std::string_view::npos) return {};
    path.emplace_back(line.substr(1, close - 1));
    line.remove_prefix(close + 1);
  }
  return path;
}

Groups parseKConfig(std::string_view text) {
  Groups groups;
  std::vector<std::string> current;
  while (!text.empty()) {
    const auto end = std::min(text.find('\n'), text.size());
    const auto line = trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      current = groupPath(line);
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || current.empty()) continue;
    auto key = trimmed(line.substr(0, equals));
    // Options such as [$e] (expand) or [$i] (immutable) follow the name; a
    // locale such as [de] makes another key, which we do not read.
    if (key.size() > 4 && key.substr(key.size() - 4, 2) == "[$") key.remove_suffix(4);
    groups[current][std::string(key)] = unescaped(trimmed(line.substr(equals + 1)));
  }
  return groups;
}

std::string valueOf(const Group& group, const char* key) {
  auto it = group.find(key);
  return it == group.end() ? std::string() : it->second;
}

std::optional<std::string> readSmallFile(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > kMaxConfigBytes) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string text(size, '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(size))) return std::nullopt;
  return text;
}

// "1920x1080.jpg" as 1920 x 1080.
std::optional<std::pair<std::uint32_t, std::uint32_t>> sizeInName(const std::string& name) {
  unsigned long w = 0, h = 0;
  char x = 0, dot = 0;
  if (std::sscanf(name.c_str(), "%5lu%c%5lu%c", &w, &x, &h, &dot) != 4 || x != 'x' || dot != '.' || !w || !h) {
    return std::nullopt;
  }
  return std::pair{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)};
}

}  // namespace

std::optional<PlasmaWallpaper> plasmaWallpaper(std::string_view appletsrc, int screen, std::string_view activity) {
  const Groups groups = parseKConfig(appletsrc);
  std::vector<std::pair<std::string, PlasmaWallpaper>> found;  // activity, wallpaper
  for (const auto& [path, group] : groups) {
    // A desktop containment: floating (location 0), not a panel, on that screen.
    if (path.size() != 2 || path[0] != "Containments") continue;
    const std::string location = valueOf(group, "location");
    if (valueOf(group, "lastScreen") != std::to_string(screen) || (!location.empty() && location != "0") ||
        valueOf(group, "plugin") == "org.kde.panel") {
      continue;
    }
    PlasmaWallpaper w;
    w.plugin = valueOf(group, "wallpaperplugin");
    if (w.plugin.empty()) w.plugin = kImagePlugin;
    auto settings = groups.find({"Containments", path[1], "Wallpaper", w.plugin, "General"});
    if (settings != groups.end()) {
      w.image = valueOf(settings->second, "Image");
      w.fillMode = valueOf(settings->second, "FillMode");
      w.color = valueOf(settings->second, "Color");
    }
    found.emplace_back(valueOf(group, "activityId"), std::move(w));
  }
  if (found.empty()) return std::nullopt;
  for (const auto& [id, w] : found) {
    if (!activity.empty() && id == activity) return w;
  }
  return found.front().second;
}

std::string currentActivity(std::string_view kactivitymanagerdrc) {
  const Groups groups = parseKConfig(kactivitymanagerdrc);
  auto main = groups.find({"main"});
  return main == groups.end() ? std::string() : valueOf(main->second, "currentActivity");
}

PlacementOptions plasmaPlacement(const PlasmaWallpaper& wallpaper) {
  struct Mode {
    std::string_view plasma;
    double scaling;
    bool clipping;
  };
  // Stretch, PreserveAspectFit, PreserveAspectCrop, Tile, TileVertically,
  // TileHorizontally, Pad. Tiles have no scaling of their own: natural size,
  // centred, is the nearest (as for GNOME's tiled wallpaper).
  static constexpr Mode kModes[] = {{"0", kStretch, true},       {"1", kScaleUpOrDown, false},
                                    {"2", kScaleUpOrDown, true}, {"3", kNaturalSize, true},
                                    {"4", kNaturalSize, true},   {"5", kNaturalSize, true},
                                    {"6", kNaturalSize, true}};
  std::string_view mode = wallpaper.fillMode;
  if (mode.empty()) mode = kDefaultFillMode;
  PlacementOptions o;
  o.scaling = std::string(mode);
  for (const Mode& m : kModes) {
    if (m.plasma == mode) {
      o.scaling = m.scaling;
      o.clipping = m.clipping;
    }
  }
  if (wallpaper.color.empty()) {
    o.fillColor = Color{0, 0, 0, 1};  // Plasma's default
  } else if (auto c = parsePlasmaColor(wallpaper.color)) {
    o.fillColor = *c;
  } else {
    o.fillColor = wallpaper.color;
  }
  return o;
}

std::optional<Color> parsePlasmaColor(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '#') {
    unsigned channel[3];
    for (int i = 0; i < 3; ++i) {
      const int high = text.size() == 7 ? hexDigit(text[1 + 2 * i]) : -1;
      const int low = text.size() == 7 ? hexDigit(text[2 + 2 * i]) : -1;
      if (high < 0 || low < 0) return std::nullopt;
      channel[i] = static_cast<unsigned>(high * 16 + low);
    }
    return Color{channel[0] / 255.0, channel[1] / 255.0, channel[2] / 255.0, 1};
  }
  std::vector<double> channels;
  for (;;) {
    const auto comma = std::min(text.find(','), text.size());
    const auto part = trimmed(text.substr(0, comma));
    const bool digits = !part.empty() && part.size() <= 3 &&
                        std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || channels.size() == 4) return std::nullopt;
    channels.push_back(std::stoi(std::string(part)) / 255.0);
    if (channels.back() > 1) return std::nullopt;
    if (comma == text.size()) break;
    text.remove_prefix(comma + 1);
  }
  if (channels.size() < 3) return std::nullopt;
  return Color{channels[0], channels[1], channels[2], channels.size() == 4 ? channels[3] : 1.0};
}

std::optional<std::string> packageImage(const std::vector<std::string>& names, std::uint32_t width,
                                        std::uint32_t height) {
  const double shape = height ? double(width) / height : 1;
  auto shapeGap = [&](std::pair<std::uint32_t, std::uint32_t> s) {
    return std::abs(double(s.first) / s.second - shape);
  };
  std::optional<std::string> best;
  std::pair<std::uint32_t, std::uint32_t> bestSize{};
  bool bestCovers = false;
  for (const auto& name : names) {
    const auto size = sizeInName(name);
    if (!size) continue;
    const bool covers = size->first >= width && size->second >= height;
    const double area = double(size->first) * size->second, bestArea = double(bestSize.first) * bestSize.second;
    bool better = false;
    if (!best || covers != bestCovers) {
      better = !best || covers;
    } else if (covers) {
      better = shapeGap(*size) < shapeGap(bestSize) || (shapeGap(*size) == shapeGap(bestSize) && area < bestArea);
    } else {
      better = area > bestArea || (area == bestArea && shapeGap(*size) < shapeGap(bestSize));
    }
    if (better) {
      best = name;
      bestSize = *size;
      bestCovers = covers;
    }
  }
  return best;
}

std::optional<PlasmaChoice> readPlasmaWallpaper(const std::string& configHome, int screen, std::uint32_t width,
                                                std::uint32_t height) {
  const auto applets = readSmallFile(fs::path(configHome) / kAppletsFile);
  if (!applets) return std::nullopt;
  const auto activities = readSmallFile(fs::path(configHome) / kActivitiesFile);
  const auto wallpaper = plasmaWallpaper(*applets, screen, activities ? currentActivity(*activities) : "");
  if (!wallpaper) return std::nullopt;
  if (wallpaper->plugin == kColorPlugin) {
    // A colour fills the screen: stretched, in the placement's own words.
    const PlasmaWallpaper solid{wallpaper->plugin, {}, std::string(1, '0'), wallpaper->color};
    return PlasmaChoice{{}, plasmaPlacement(solid)};
  }
  if (wallpaper->plugin != kImagePlugin || wallpaper->image.empty()) return std::nullopt;
  std::string path = pathOf(wallpaper->image);
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    // A wallpaper package: one picture per size under contents/images/.
    std::vector<std::string> names;
    for (fs::directory_iterator it(fs::path(path) / "contents" / "images", ec), end; !ec && it != end;
         it.increment(ec)) {
      if (names.size() >= kMaxPackageEntries) break;
      names.push_back(it->path().filename().string());
    }
    const auto picture = packageImage(names, width, height);
    if (!picture) return std::nullopt;
    path = (fs::path(path) / "contents" / "images" / *picture).string();
  }
  return PlasmaChoice{path, plasmaPlacement(*wallpaper)};
}

}  // namespace quorvane::desktop::kde
