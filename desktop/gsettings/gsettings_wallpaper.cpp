#include "desktop/gsettings/gsettings_wallpaper.h"

#include <gio/gio.h>

namespace quorvane::desktop::gsettings {

namespace {

constexpr char kBackgroundSchema[] = "org.gnome.desktop.background";
constexpr char kInterfaceSchema[] = "org.gnome.desktop.interface";

struct Unref {
  void operator()(gpointer p) const { g_object_unref(p); }
};
using Settings = std::unique_ptr<GSettings, Unref>;

// Opening a schema that is not installed aborts the process in GLib, so look first.
Settings openSchema(const char* id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return nullptr;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
  if (!schema) return nullptr;
  g_settings_schema_unref(schema);
  return Settings(g_settings_new(id));
}

bool hasKey(GSettings* settings, const char* key) {
  GSettingsSchema* schema = nullptr;
  g_object_get(settings, "settings-schema", &schema, nullptr);
  bool has = schema && g_settings_schema_has_key(schema, key);
  if (schema) g_settings_schema_unref(schema);
  return has;
}

std::string stringKey(GSettings* settings, const char* key) {
  if (!hasKey(settings, key)) return {};
  gchar* value = g_settings_get_string(settings, key);
  std::string s = value ? value : "";
  g_free(value);
  return s;
}

bool userSet(GSettings* settings, const char* key) {
  if (!hasKey(settings, key)) return false;
  GVariant* v = g_settings_get_user_value(settings, key);
  if (v) g_variant_unref(v);
  return v != nullptr;
}

bool prefersDark() {
  Settings ui = openSchema(kInterfaceSchema);
  return ui && stringKey(ui.get(), "color-scheme") == "prefer-dark";
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<DesktopBackground> readDesktopBackground() {
  Settings bg = openSchema(kBackgroundSchema);
  if (!bg) return std::nullopt;
  DesktopBackground result;
  const char* uriKey = "picture-uri";
  if (prefersDark() && !stringKey(bg.get(), "picture-uri-dark").empty()) uriKey = "picture-uri-dark";
  result.uri = stringKey(bg.get(), uriKey);
  result.userChosen = userSet(bg.get(), uriKey);
  result.pictureOptions = stringKey(bg.get(), "picture-options");
  result.primaryColor = stringKey(bg.get(), "primary-color");
  return result;
}

PlacementOptions placementFor(std::string_view pictureOptions, std::string_view primaryColor) {
  PlacementOptions o;
  struct Mode {
    std::string_view word;
    double scaling;
    bool clipping;
  };
  // Tiling has no scaling of its own: natural size, centred, is the nearest.
  static constexpr Mode kModes[] = {{"zoom", kScaleUpOrDown, true},   {"spanned", kScaleUpOrDown, true},
                                    {"scaled", kScaleUpOrDown, false}, {"stretched", kStretch, true},
                                    {"centered", kNaturalSize, true},  {"wallpaper", kNaturalSize, true}};
  o.scaling = std::string(pictureOptions);
  for (const Mode& m : kModes) {
    if (m.word == pictureOptions) {
      o.scaling = m.scaling;
      o.clipping = m.clipping;
    }
  }
  if (auto c = parseColor(primaryColor)) {
    o.fillColor = *c;
  } else if (!primaryColor.empty()) {
    o.fillColor = std::string(primaryColor);
  }
  return o;
}

std::optional<Color> parseColor(std::string_view text) {
  if (text.empty() || text[0] != '#') return std::nullopt;
  text.remove_prefix(1);
  if (text.size() != 3 && text.size() != 6 && text.size() != 12) return std::nullopt;
  size_t digits = text.size() / 3;
  double channel[3];
  for (int i = 0; i < 3; ++i) {
    unsigned value = 0;
    for (size_t d = 0; d < digits; ++d) {
      int h = hexDigit(text[i * digits + d]);
      if (h < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(h);
    }
    channel[i] = value / static_cast<double>((1u << (4 * digits)) - 1);
  }
  return Color{channel[0], channel[1], channel[2], 1.0};
}

std::optional<WallpaperChoice> chosenWallpaper(const std::optional<DesktopBackground>& bg) {
  if (!bg || !bg->userChosen) return std::nullopt;
  PlacementOptions placement = placementFor(bg->pictureOptions, bg->primaryColor);
  if (bg->pictureOptions == "none" || bg->uri.empty()) return WallpaperChoice{NoWallpaper{}, placement};
  return WallpaperChoice{WallpaperUrl{bg->uri}, placement};
}

std::optional<WallpaperChoice> defaultWallpaper(const std::optional<DesktopBackground>& bg) {
  if (!bg) return std::nullopt;
  if (!bg->uri.empty() && bg->pictureOptions != "none") {
    return WallpaperChoice{WallpaperUrl{bg->uri}, placementFor(bg->pictureOptions, bg->primaryColor)};
  }
  auto color = parseColor(bg->primaryColor);
  if (!color) return std::nullopt;
  return WallpaperChoice{PlainColor{*color}, PlacementOptions{static_cast<double>(kStretch), {}, {}}};
}

}  // namespace quorvane::desktop::gsettings
