// The mask's platform for unit tests: screens, wallpapers and options are set
// by the test, covers are recorded instead of drawn, images decode to their
// size without pixels.
#pragma once

#include <functional>
#include <map>
#include <utility>

#include "desktop/mask_platform.h"

namespace quorvane::desktop {

class FakeImage final : public WallpaperImage {
 public:
  FakeImage(std::uint32_t w, std::uint32_t h, bool decodable, std::vector<std::pair<std::uint32_t, std::uint32_t>>* log)
      : w_(w), h_(h), decodable_(decodable), log_(log) {}
  std::uint32_t width() const override { return w_; }
  std::uint32_t height() const override { return h_; }
  std::shared_ptr<const Bitmap> decode(std::uint32_t minWidth, std::uint32_t minHeight) override {
    if (log_) log_->emplace_back(minWidth, minHeight);
    if (!decodable_) return nullptr;
    auto b = std::make_shared<Bitmap>();
    b->width = minWidth;
    b->height = minHeight;
    return b;
  }

 private:
  std::uint32_t w_, h_;
  bool decodable_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>>* log_;
};

// A file the fake knows: its header size and whether its pixels decode.
struct FakeFile {
  std::uint32_t width = 0, height = 0;
  bool decodable = true;
};

class FakeMaskPlatform : public MaskPlatform {
 public:
  std::int32_t desktopIconLevel() override { return iconLevel; }
  std::int32_t normalWindowLevel() override { return normalLevel; }
  void becomeAccessory() override { accessory = true; }
  std::vector<Screen> screens() override { return screenList; }

  WallpaperSource wallpaper(const Screen& screen) override {
    ++wallpaperAsks;
    auto it = placedImages.find(index(screen));
    if (it != placedImages.end()) {
      return PlacedImage{std::make_unique<FakeImage>(it->second.width, it->second.height, it->second.decodable, &decodes)};
    }
    auto url = urls.find(index(screen));
    if (url == urls.end()) return NoWallpaper{};
    return WallpaperUrl{url->second};
  }
  std::unique_ptr<WallpaperImage> openImage(const std::string& url) override {
    opened.push_back(url);
    if (whileOpening) whileOpening();
    auto it = files.find(url);
    if (it == files.end()) return nullptr;
    return std::make_unique<FakeImage>(it->second.width, it->second.height, it->second.decodable, &decodes);
  }
  std::optional<PlacementOptions> placementOptions(const Screen& screen) override {
    auto it = options.find(index(screen));
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
  void prepareCover(const CoverPlan& plan, std::int32_t level) override {
    covers.push_back(plan);
    levels.push_back(level);
  }
  void showCovers() override { ++shown; }

  // Screens are told apart by their position in the list.
  size_t index(const Screen& s) const {
    for (size_t i = 0; i < screenList.size(); ++i) {
      if (screenList[i] == s) return i;
    }
    return screenList.size();
  }

  std::int32_t iconLevel = 0, normalLevel = 2;
  bool accessory = false;
  std::vector<Screen> screenList;
  std::map<size_t, std::string> urls;
  std::map<size_t, FakeFile> placedImages;
  std::map<std::string, FakeFile> files;
  std::map<size_t, PlacementOptions> options;
  std::function<void()> whileOpening;  // what happens meanwhile (time passes, the parent dies)

  int wallpaperAsks = 0;
  std::vector<std::string> opened;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> decodes;
  std::vector<CoverPlan> covers;
  std::vector<std::int32_t> levels;
  int shown = 0;
};

}  // namespace quorvane::desktop
