// The mask's platform for unit tests: screens (told apart by their position in screenList), the wallpaper's
// answers and the files they name are set by the test; covers are recorded, not drawn; images decode to the
// size asked, without pixels.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include "desktop/mask_platform.h"

namespace quorvane::desktop {
struct FakeFile { std::uint32_t width = 0, height = 0; bool decodable = true; };  // an image's header size; decodes?

// One answer to a wallpaper question: nothing, a URL, an image already placed, or a colour.
struct FakeWallpaper {
  std::variant<NoWallpaper, std::string, FakeFile, Color> source;
  std::optional<PlacementOptions> options;
};

class FakeMaskPlatform : public MaskPlatform {
 public:
  std::int32_t desktopIconLevel() override { return iconLevel; }
  std::int32_t normalWindowLevel() override { return normalLevel; }
  std::vector<Screen> screens() override { return screenList; }
  std::optional<WallpaperChoice> chosenWallpaper() override { return ask('c', chosen); }
  std::optional<WallpaperChoice> systemWallpaper(const Screen& screen) override {
    size_t i = static_cast<size_t>(std::find(screenList.begin(), screenList.end(), screen) - screenList.begin());
    return ask('s', drawn.count(i) ? std::optional(drawn[i]) : std::nullopt);
  }
  std::optional<WallpaperChoice> defaultWallpaper() override { return ask('d', fallback); }
  std::shared_ptr<WallpaperImage> openImage(const std::string& url) override {
    opened.push_back(url);
    if (whileOpening) whileOpening();
    return files.count(url) ? std::make_unique<Image>(files[url], *this) : nullptr;
  }
  bool terminationRequested() override { return terminated; }
  void prepareCover(const CoverPlan& plan) override { covers.push_back(plan); }
  void showCovers() override { ++shown; }
  Exit run(DesktopMask& mask) override {
    ++runs;
    return loop ? loop(mask) : Exit{7, "the loop"};
  }

  std::int32_t iconLevel = 0, normalLevel = 2;
  std::vector<Screen> screenList;
  std::optional<FakeWallpaper> chosen, fallback;  // the user's choice and the default, for every screen
  std::map<size_t, FakeWallpaper> drawn;          // what the window system draws, by screen
  std::map<std::string, FakeFile> files;          // by URL
  std::function<void()> whileOpening;             // what happens meanwhile
  std::function<Exit(DesktopMask&)> loop;         // the event loop
  bool terminated = false;
  std::string questions;  // c(hosen), s(ystem), d(efault), in the order asked
  int shown = 0, runs = 0;
  std::vector<std::string> opened;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> decodes;  // the least sizes asked for
  std::vector<CoverPlan> covers;

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
  std::optional<WallpaperChoice> ask(char question, const std::optional<FakeWallpaper>& answer) {
    questions += question;
    if (!answer) return std::nullopt;
    WallpaperChoice choice{NoWallpaper{}, answer->options};
    if (auto* url = std::get_if<std::string>(&answer->source)) choice.source = WallpaperUrl{*url};
    if (auto* file = std::get_if<FakeFile>(&answer->source)) {
      choice.source = PlacedImage{std::make_unique<Image>(*file, *this)};
    }
    if (auto* color = std::get_if<Color>(&answer->source)) choice.source = PlainColor{*color};
    return choice;
  }
};

}  // namespace quorvane::desktop
