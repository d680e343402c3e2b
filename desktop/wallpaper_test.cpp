#include <cmath>
#include <gtest/gtest.h>
#include <new>
#include <tuple>

#include "desktop/fake_mask_platform.h"
#include "desktop/wallpaper.h"

namespace quorvane::desktop {
namespace {

TEST(WallpaperTest, FileUrlsScalingNumbersPixelBudgetAndPlacementFallbacks) {
  for (auto [url, file] : {std::pair{"FILE:///a.png", true}, {"File:/a", true}, {"/home/u/a.jpg", false},
                           {"fil", false}, {"xile:///a", false}, {"files:///a", false}})
    EXPECT_EQ(isFileUrl(url), file) << url;
  for (auto [number, scaling] : {std::pair<double, std::uint64_t>{0, 0}, {2, 2}, {7, 7}, {2.7, 2}, {-0.5, 0}, {-1, 3},
                                 {NAN, 3}, {INFINITY, 3}, {1.8e19, 18'000'000'000'000'000'000u}, {0x1p64, 3}})
    EXPECT_EQ(scalingOf(number), scaling) << number;
  PixelBudget budget;  // exactly the limit over all screens is allowed
  EXPECT_EQ((std::tuple{budget.add(16000, 5000), budget.add(16000, 5000), budget.add(1, 1)}),
            (std::tuple{true, true, false}));
  const Color red{1, 0, 0, 1};
  const Placement kFallback{3, true, {0, 0, 0, 1}};
  const std::pair<std::optional<PlacementOptions>, std::optional<Placement>> options[] = {  // a fallback per option
      {std::nullopt, kFallback}, {PlacementOptions{2.0, false, red}, Placement{2, false, red}},
      {PlacementOptions{true, {}, {}}, std::nullopt},
      {PlacementOptions{{}, OtherKind{}, std::string("#f00")}, kFallback}};
  for (const auto& [given, expected] : options) EXPECT_EQ(readPlacement(given), expected) << &given - &options[0].first;
}

TEST(WallpaperTest, TheUsersChoiceThenWhatTheWindowSystemDrawsThenTheDefault) {
  const FakeWallpaper chosen{"file:///chosen", {}}, drawn{"file:///drawn", {}}, fallback{"file:///default", {}};
  const FakeWallpaper chosenNothing{NoWallpaper{}, {}};
  const struct { const char* name; std::optional<FakeWallpaper> chosen, drawn, fallback; const char* opened;
                 const char* questions; } cases[] = {
      {"all three", chosen, drawn, fallback, "file:///chosen", "c"},
      {"nothing chosen", {}, drawn, fallback, "file:///drawn", "cs"},
      {"the default alone", {}, {}, fallback, "file:///default", "csd"},
      {"a choice of nothing stands", chosenNothing, drawn, fallback, nullptr, "c"},
      {"no answer at all", {}, {}, {}, nullptr, "csd"},
  };
  for (const auto& c : cases) {
    FakeMaskPlatform platform;
    platform.screenList = {{0, 0, 100, 100}};
    std::tie(platform.chosen, platform.fallback) = std::tuple{c.chosen, c.fallback};
    if (c.drawn) platform.drawn[0] = *c.drawn;
    for (const char* url : {"file:///chosen", "file:///drawn", "file:///default"}) platform.files[url] = {10, 10};
    PixelBudget budget;
    WallpaperResult r = loadWallpaper(platform, platform.screenList[0], budget);
    EXPECT_EQ(std::tuple(platform.questions, platform.opened, std::holds_alternative<CoverPlan>(r)),
              std::tuple(c.questions, c.opened ? std::vector<std::string>{c.opened} : std::vector<std::string>{},
                         c.opened != nullptr)) << c.name;
  }
}

TEST(WallpaperTest, FailsInOrderUnreadableThenOverBudgetThenScalingElsePlansTheCoverAsDrawn) {
  const auto zoom = PlacementOptions{std::string("zoom"), {}, {}};
  const auto fit = PlacementOptions{3.0, false, Color{0, 1, 0, 1}};
  const char* kUnreadable = texts::kUnreadableWallpaper;
  const FakeWallpaper kFile{"file:///a.jpg", zoom};  // with the file below, if any
  const struct { const char* name; FakeWallpaper chosen; std::optional<FakeFile> file; const char* failure;
                 size_t opened, decoded; } cases[] = {
      {"not a file URL", {"https://a.invalid/a.jpg", {}}, FakeFile{1, 1}, kUnreadable, 0, 0},
      {"file cannot be opened", kFile, {}, kUnreadable, 1, 0},
      {"header says zero width", kFile, FakeFile{0, 10}, kUnreadable, 1, 0},
      {"header says zero height", kFile, FakeFile{10, 0}, kUnreadable, 1, 0},
      {"pixels do not decode", kFile, FakeFile{100, 100, false}, kUnreadable, 1, 1},
      {"over the budget", kFile, FakeFile{20000, 10000}, texts::kTooManyPixels, 1, 0},
      {"bad scaling", kFile, FakeFile{100, 100}, texts::kUnsupportedScaling, 1, 1},
      {"5K file", {"file:///a.jpg", fit}, FakeFile{5120, 2880}, nullptr, 1, 1},
      {"5K placed image", {FakeFile{5120, 2880}, fit}, {}, nullptr, 0, 1},
  };
  for (const auto& c : cases) {
    FakeMaskPlatform platform;
    platform.screenList = {{0, 0, 1920, 1080}};
    platform.chosen = c.chosen;
    if (c.file) platform.files["file:///a.jpg"] = *c.file;
    PixelBudget budget;
    WallpaperResult r = loadWallpaper(platform, platform.screenList[0], budget);
    // A URL that is not a file is never touched; the budget is checked before decoding.
    EXPECT_EQ(std::pair(platform.opened.size(), platform.decodes.size()), std::pair(c.opened, c.decoded)) << c.name;
    const CoverPlan* plan = std::get_if<CoverPlan>(&r);
    EXPECT_STREQ(plan ? "a plan" : std::get<const char*>(r), c.failure ? c.failure : "a plan") << c.name;
    if (!plan) continue;
    EXPECT_EQ(std::tuple(plan->frame, plan->imageSize.width, plan->imageSize.height, plan->placed, plan->scaling,
                         plan->clipping, plan->fill, plan->image->width, plan->image->height, budget.total()),
              std::tuple(platform.screenList[0], 5120.0, 2880.0, Rect{0, 0, 1920, 1080}, std::uint64_t{3}, false,
                         Color{0, 1, 0, 1}, 1920u, 1080u, 5120.0 * 2880.0));
  }
}

TEST(WallpaperTest, APlainColourIsOnePixelStretchedOverTheScreen) {
  for (auto [color, argb] : {std::pair{Color{1, 0, 0, 1}, 0xFFFF0000u}, {Color{0.5, 0, 1, 1}, 0xFF8000FFu},
                             {Color{2, -1, 0.2, 1}, 0xFFFF0033u}}) {
    FakeMaskPlatform platform;
    platform.screenList = {{0, 0, 1280, 800}};
    platform.fallback = FakeWallpaper{color, PlacementOptions{1.0, {}, {}}};
    PixelBudget budget;
    WallpaperResult r = loadWallpaper(platform, platform.screenList[0], budget);
    ASSERT_TRUE(std::holds_alternative<CoverPlan>(r)) << argb;
    const Bitmap& image = *std::get<CoverPlan>(r).image;
    EXPECT_EQ(std::tuple(image.width, image.height, image.opaque, image.pixels[0], std::get<CoverPlan>(r).placed),
              std::tuple(1u, 1u, true, argb, Rect{0, 0, 1280, 800}));
  }
}

TEST(WallpaperTest, NoMemoryForThePictureIsAnUnreadablePicture) {
  FakeMaskPlatform platform;
  platform.screenList = {{0, 0, 1280, 800}};
  platform.chosen = FakeWallpaper{"file:///huge.png", {}};
  platform.whileOpening = [] { throw std::bad_alloc(); };
  PixelBudget budget;
  WallpaperResult r = loadWallpaper(platform, platform.screenList[0], budget);
  EXPECT_STREQ(std::holds_alternative<CoverPlan>(r) ? "a plan" : std::get<const char*>(r), texts::kUnreadableWallpaper);
}

}  // namespace
}  // namespace quorvane::desktop
