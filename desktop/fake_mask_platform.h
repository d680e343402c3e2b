// The mask's platform for unit tests: screens (told apart by their position in screenList), wallpapers and
// options are set by the test; covers are recorded, not drawn; images decode to the size asked, without pixels.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include "desktop/mask_platform.h"

namespace quorvane::desktop {
struct FakeFile { std::uint32_t width = 0, height = 0; bool decodable = true; };  // an image's header size; decodes?

class FakeMaskPlatform : public MaskPlatform {
 public:
  std::int32_t desktopIconLevel() override { return iconLevel; }
  std::int32_t normalWindowLevel() override { return normalLevel; }
  void becomeAccessory() override { accessory = true; }
  std::vector<Screen> screens() override { return screenList; }
  WallpaperSource wallpaper(const Screen& screen) override {
    ++wallpaperAsks;
    size_t i = static_cast<size_t>(std::find(screenList.begin(), screenList.end(), screen) - screenList.begin());
    if (placedImages.count(i)) return PlacedImage{std::make_unique<Image>(placedImages[i], *this)};
    return urls.count(i) ? WallpaperSource(WallpaperUrl{urls[i]}) : NoWallpaper{};
  }
  std::unique_ptr<WallpaperImage> openImage(const std::string& url) override {
    opened.push_back(url);
    if (whileOpening) whileOpening();
    return files.count(url) ? std::make_unique<Image>(files[url], *this) : nullptr;
  }
  std::optional<PlacementOptions> placementOptions(const Screen&) override { return options; }
  void prepareCover(const CoverPlan& plan, std::int32_t level) override { covers.emplace_back(plan, level); }
  void showCovers() override { ++shown; }
  std::int32_t iconLevel = 0, normalLevel = 2;
  std::vector<Screen> screenList;
  std::map<size_t, std::string> urls;                            // by screen
  std::map<size_t, FakeFile> placedImages;                       // by screen
  std::map<std::string, FakeFile> files;                         // by URL
  std::optional<PlacementOptions> options;                       // every screen's
  std::function<void()> whileOpening;                            // what happens meanwhile
  bool accessory = false;
  int wallpaperAsks = 0, shown = 0;
  std::vector<std::string> opened;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> decodes;  // the least sizes asked for
  std::vector<std::pair<CoverPlan, std::int32_t>> covers;         // with their levels
 private:
  struct Image final : WallpaperImage {
    Image(FakeFile f, FakeMaskPlatform& p) : file(f), platform(p) {}
    std::uint32_t width() const override { return file.width; }
    std::uint32_t height() const override { return file.height; }
    std::shared_ptr<const Bitmap> decode(std::uint32_t w, std::uint32_t h) override {
      platform.decodes.emplace_back(w, h);
      return file.decodable ? std::make_shared<Bitmap>(Bitmap{w, h, false, nullptr}) : nullptr;
    }
    FakeFile file;
    FakeMaskPlatform& platform;
  };
};

}  // namespace quorvane::desktop
