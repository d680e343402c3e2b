#include "desktop/wallpaper.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "desktop/texts.h"

namespace quorvane::desktop {

bool isFileUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file:";
  if (url.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

std::uint64_t scalingOf(double number) {
  // Beyond the unsigned range (or NaN) there is no scaling of that number; any
  // number that is not a known mode places the image as up-or-down.
  constexpr double kUnsignedLimit = 18446744073709551616.0;
  if (!(number > -1.0 && number < kUnsignedLimit)) return kScaleUpOrDown;
  return static_cast<std::uint64_t>(std::max(0.0, std::trunc(number)));
}

std::optional<Placement> readPlacement(const std::optional<PlacementOptions>& options) {
  Placement p;
  if (!options) return p;
  if (options->scaling) {
    const auto* number = std::get_if<double>(&*options->scaling);
    if (!number) return std::nullopt;
    p.scaling = scalingOf(*number);
  }
  if (options->clipping) {
    if (const auto* b = std::get_if<bool>(&*options->clipping)) p.clipping = *b;
  }
  if (options->fillColor) {
    if (const auto* c = std::get_if<Color>(&*options->fillColor)) p.fill = *c;
  }
  return p;
}

DecodeSize decodeSizeFor(const Rect& placed, std::uint32_t imageWidth, std::uint32_t imageHeight) {
  // A hair of tolerance so that 1920.0000001 does not force a larger decode.
  constexpr double kSlack = 1e-6;
  auto side = [](double drawn, std::uint32_t natural) {
    double wanted = std::ceil(std::fabs(drawn) - kSlack);
    if (!(wanted >= 1.0)) return std::uint32_t{1};
    return static_cast<std::uint32_t>(std::min(wanted, static_cast<double>(natural)));
  };
  return {side(placed.width, imageWidth), side(placed.height, imageHeight)};
}

WallpaperChoice wallpaperChoice(MaskPlatform& platform, const Screen& screen) {
  if (auto chosen = platform.chosenWallpaper()) return std::move(*chosen);
  if (auto drawn = platform.systemWallpaper(screen)) return std::move(*drawn);
  if (auto fallback = platform.defaultWallpaper()) return std::move(*fallback);
  return {NoWallpaper{}, std::nullopt};
}

namespace {

// A plain colour as a picture: one opaque pixel, which its placement stretches.
struct ColorImage final : WallpaperImage {
  explicit ColorImage(const Color& c) : color(c) {}
  std::uint32_t width() const override { return 1; }
  std::uint32_t height() const override { return 1; }
  std::shared_ptr<const Bitmap> decode(std::uint32_t, std::uint32_t) override {
    auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    std::uint32_t argb = 0xFF000000u | channel(color.red) << 16 | channel(color.green) << 8 | channel(color.blue);
    return std::make_shared<Bitmap>(Bitmap{1, 1, true, std::shared_ptr<std::uint32_t[]>(new std::uint32_t[1]{argb})});
  }
  Color color;
};

std::shared_ptr<WallpaperImage> openSource(MaskPlatform& platform, WallpaperSource source) {
  if (auto* placed = std::get_if<PlacedImage>(&source)) return std::move(placed->image);
  if (auto* plain = std::get_if<PlainColor>(&source)) return std::make_unique<ColorImage>(plain->color);
  auto* named = std::get_if<WallpaperUrl>(&source);
  if (!named || !isFileUrl(named->url)) return nullptr;
  return platform.openImage(named->url);
}

WallpaperResult planCover(MaskPlatform& platform, const Screen& screen, PixelBudget& budget) {
  WallpaperChoice choice = wallpaperChoice(platform, screen);
  std::shared_ptr<WallpaperImage> image = openSource(platform, std::move(choice.source));
  if (!image || image->width() == 0 || image->height() == 0) return texts::kUnreadableWallpaper;
  if (!budget.add(image->width(), image->height())) return texts::kTooManyPixels;

  // A bad scaling option counts only once the image itself proved readable.
  std::optional<Placement> placement = readPlacement(choice.options);

  CoverPlan plan;
  plan.frame = screen;
  plan.imageSize = {static_cast<double>(image->width()), static_cast<double>(image->height())};
  if (placement) {
    plan.scaling = placement->scaling;
    plan.clipping = placement->clipping;
    plan.fill = placement->fill;
  }
  plan.placed = imageRect(plan.imageSize, {static_cast<double>(screen.width), static_cast<double>(screen.height)},
                          plan.scaling, plan.clipping);
  DecodeSize want = decodeSizeFor(plan.placed, image->width(), image->height());
  plan.image = image->decode(want.width, want.height);
  if (!plan.image || plan.image->width == 0 || plan.image->height == 0) return texts::kUnreadableWallpaper;
  if (!placement) return texts::kUnsupportedScaling;
  return plan;
}

}  // namespace

WallpaperResult loadWallpaper(MaskPlatform& platform, const Screen& screen, PixelBudget& budget) {
  try {
    return planCover(platform, screen, budget);
  } catch (const std::bad_alloc&) {
    return texts::kUnreadableWallpaper;
  }
}

}  // namespace quorvane::desktop
