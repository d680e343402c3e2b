#include "desktop/wallpaper.h"

#include <cmath>
#include <gtest/gtest.h>

#include "desktop/fake_mask_platform.h"

namespace quorvane::desktop {
namespace {

TEST(IsFileUrlTest, OnlyTheFileSchemeNamesALocalFile) {
  const struct {
    const char* url;
    bool file;
  } cases[] = {{"file:///usr/share/a.jpg", true}, {"FILE:///a.png", true}, {"File:/a", true},
               {"https://example.invalid/a.jpg", false}, {"/home/u/a.jpg", false}, {"", false},
               {"fil", false}, {"xile:///a", false}, {"files:///a", false}, {"resource:///a.png", false}};
  for (const auto& c : cases) EXPECT_EQ(isFileUrl(c.url), c.file) << c.url;
}

TEST(ScalingOfTest, ReadsNumbersAsUnsignedIntegers) {
  const struct {
    double number;
    std::uint64_t scaling;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {7, 7}, {2.7, 2}, {-0.5, 0},
               {-1, kScaleUpOrDown}, {NAN, kScaleUpOrDown}, {1e30, kScaleUpOrDown}, {INFINITY, kScaleUpOrDown}};
  for (const auto& c : cases) EXPECT_EQ(scalingOf(c.number), c.scaling) << c.number;
}

TEST(ReadPlacementTest, FallsBackPerOptionAndRefusesOnlyANonNumberScaling) {
  const Color red{1, 0, 0, 1};
  const Color black{0, 0, 0, 1};
  const struct {
    const char* name;
    std::optional<PlacementOptions> options;
    bool refused;
    std::uint64_t scaling;
    bool clipping;
    Color fill;
  } cases[] = {
      {"no options", std::nullopt, false, 3, true, black},
      {"empty options", PlacementOptions{}, false, 3, true, black},
      {"all set", PlacementOptions{2.0, false, red}, false, 2, false, red},
      {"scaling is a string", PlacementOptions{std::string("zoom"), {}, {}}, true, 0, false, black},
      {"scaling is a boolean", PlacementOptions{true, {}, {}}, true, 0, false, black},
      {"scaling is a colour", PlacementOptions{red, {}, {}}, true, 0, false, black},
      {"clipping is a number", PlacementOptions{{}, 0.0, {}}, false, 3, true, black},
      {"clipping of another kind", PlacementOptions{{}, OtherKind{}, {}}, false, 3, true, black},
      {"fill is a string", PlacementOptions{{}, {}, std::string("#ff0000")}, false, 3, true, black},
      {"fill is a number", PlacementOptions{{}, {}, 1.0}, false, 3, true, black},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto p = readPlacement(c.options);
    ASSERT_EQ(!p, c.refused);
    if (!p) continue;
    EXPECT_EQ(p->scaling, c.scaling);
    EXPECT_EQ(p->clipping, c.clipping);
    EXPECT_EQ(p->fill, c.fill);
  }
}

TEST(PixelBudgetTest, AllowsExactlyTheLimitOverAllScreens) {
  PixelBudget exact;
  EXPECT_TRUE(exact.add(16000, 10000));
  EXPECT_FALSE(exact.add(1, 1));
  PixelBudget twice;
  EXPECT_TRUE(twice.add(10000, 10000));
  EXPECT_FALSE(twice.add(10000, 10000));
  PixelBudget huge;  // products beyond 32 bits must not wrap
  EXPECT_FALSE(huge.add(0xFFFFFFFFu, 0xFFFFFFFFu));
}

TEST(DecodeSizeForTest, CoversTheDrawnRectangleAndNeverExceedsTheImage) {
  const struct {
    Rect placed;
    std::uint32_t iw, ih;
    std::uint32_t w, h;
  } cases[] = {
      {{0, 0, 1920, 1080}, 5120, 2880, 1920, 1080},
      {{0, 0, 1920.0000001, 1080}, 5120, 2880, 1920, 1080},
      {{0, 0, 1920.4, 1080.5}, 5120, 2880, 1921, 1081},
      {{-10, 0, 6000, 3000}, 5120, 2880, 5120, 2880},
      {{0, 0, 0.2, 0}, 100, 100, 1, 1},
  };
  for (const auto& c : cases) {
    DecodeSize d = decodeSizeFor(c.placed, c.iw, c.ih);
    EXPECT_EQ(d.width, c.w);
    EXPECT_EQ(d.height, c.h);
  }
}

struct LoadFixture : ::testing::Test {
  FakeMaskPlatform platform;
  PixelBudget budget;
  Screen screen{0, 0, 1920, 1080};
  void SetUp() override { platform.screenList = {screen}; }
  WallpaperResult load() { return loadWallpaper(platform, screen, budget); }
  const char* failure(const WallpaperResult& r) {
    auto* f = std::get_if<const char*>(&r);
    return f ? *f : nullptr;
  }
};

TEST_F(LoadFixture, EachUnreadableWallpaperGivesTheSameText) {
  const struct {
    const char* name;
    std::optional<std::string> url;
    std::optional<FakeFile> file;
  } cases[] = {
      {"no wallpaper at all", std::nullopt, std::nullopt},
      {"not a file URL", "https://example.invalid/a.jpg", FakeFile{100, 100, true}},
      {"file cannot be opened", "file:///missing.jpg", std::nullopt},
      {"header says zero pixels", "file:///empty.png", FakeFile{0, 10, true}},
      {"pixels do not decode", "file:///truncated.jpg", FakeFile{100, 100, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform.urls.clear();
    platform.files.clear();
    if (c.url) platform.urls[0] = *c.url;
    if (c.url && c.file) platform.files[*c.url] = *c.file;
    EXPECT_STREQ(failure(load()), kUnreadableWallpaperText);
  }
  // A URL that is not a file is refused without touching it.
  EXPECT_EQ(std::count(platform.opened.begin(), platform.opened.end(), "https://example.invalid/a.jpg"), 0);
}

TEST_F(LoadFixture, FailuresComeInOrderUnreadableThenBudgetThenScaling) {
  platform.options[0] = PlacementOptions{std::string("zoom"), {}, {}};
  platform.urls[0] = "file:///bad.jpg";
  platform.files["file:///bad.jpg"] = {100, 100, false};
  EXPECT_STREQ(failure(load()), kUnreadableWallpaperText);

  platform.files["file:///bad.jpg"] = {20000, 10000, true};
  budget = {};
  platform.decodes.clear();
  EXPECT_STREQ(failure(load()), kTooManyPixelsText);
  EXPECT_TRUE(platform.decodes.empty());  // the budget is checked before decoding

  platform.files["file:///bad.jpg"] = {100, 100, true};
  budget = {};
  EXPECT_STREQ(failure(load()), kUnsupportedScalingText);
}

TEST_F(LoadFixture, PlansTheCoverAndDecodesOnlyWhatIsDrawn) {
  platform.urls[0] = "file:///5k.jpg";
  platform.files["file:///5k.jpg"] = {5120, 2880, true};
  platform.options[0] = PlacementOptions{3.0, false, Color{0.2, 0.4, 0.6, 1}};
  WallpaperResult r = load();
  ASSERT_EQ(failure(r), nullptr);
  const CoverPlan& plan = std::get<CoverPlan>(r);
  EXPECT_EQ(plan.frame, screen);
  EXPECT_DOUBLE_EQ(plan.imageSize.width, 5120);
  EXPECT_EQ(plan.placed, (Rect{0, 0, 1920, 1080}));
  EXPECT_FALSE(plan.clipping);
  EXPECT_EQ(plan.fill, (Color{0.2, 0.4, 0.6, 1}));
  ASSERT_EQ(platform.decodes.size(), 1u);
  EXPECT_EQ(platform.decodes[0], std::make_pair(1920u, 1080u));
  EXPECT_DOUBLE_EQ(budget.total(), 5120.0 * 2880.0);
}

TEST_F(LoadFixture, APlacedImageNeedsNoUrl) {
  platform.placedImages[0] = {1920, 1080, true};
  platform.options[0] = PlacementOptions{2.0, {}, {}};
  WallpaperResult r = load();
  ASSERT_EQ(failure(r), nullptr);
  EXPECT_EQ(std::get<CoverPlan>(r).placed, (Rect{0, 0, 1920, 1080}));
  EXPECT_TRUE(platform.opened.empty());
}

}  // namespace
}  // namespace quorvane::desktop
