#include <cmath>
#include <gtest/gtest.h>
#include "common/fake_process.h"
#include "desktop/fake_mask_platform.h"
#include "desktop/mask.h"
#include "desktop/wallpaper.h"

namespace quorvane::desktop {
namespace {
using namespace std::string_literals;

TEST(PlacementTest, PlacesAsTheDesktopDoes) {
  // Down-only never enlarges; stretch and natural size ignore clipping; unknown modes place like up-or-down.
  const struct { Size image, bounds; std::uint64_t scaling; bool clipping; Rect expected; } cases[] = {
      {{50, 25}, {100, 100}, 3, false, {0, 25, 100, 50}}, {{50, 25}, {100, 100}, 3, true, {-50, 0, 200, 100}},
      {{50, 25}, {100, 100}, 0, true, {25, 37.5, 50, 25}}, {{400, 100}, {100, 100}, 0, false, {0, 37.5, 100, 25}},
      {{200, 100}, {100, 100}, 1, false, {0, 0, 100, 100}}, {{30, 20}, {100, 100}, 2, true, {35, 40, 30, 20}},
      {{200, 100}, {100, 100}, 7, true, {-50, 0, 200, 100}}, {{1000, 3}, {1280, 800}, 3, false, {0, 398.08, 1280, 3.84}}};
  for (const auto& c : cases) {
    Rect r = imageRect(c.image, c.bounds, c.scaling, c.clipping), e = c.expected;
    EXPECT_LT(std::abs(r.x - e.x) + std::abs(r.y - e.y) + std::abs(r.width - e.width) + std::abs(r.height - e.height), 1e-9)
        << c.image.width << "x" << c.image.height << " scaling " << c.scaling << " clip " << c.clipping;
  }
}

TEST(WallpaperTest, FileUrlsScalingNumbersPixelBudgetAndPlacementFallbacks) {
  for (auto [url, file] : {std::pair{"FILE:///a.png", true}, {"File:/a", true}, {"/home/u/a.jpg", false},
                           {"fil", false}, {"xile:///a", false}, {"files:///a", false}})
    EXPECT_EQ(isFileUrl(url), file) << url;
  for (auto [number, scaling] : {std::pair<double, std::uint64_t>{0, 0}, {2, 2}, {7, 7}, {2.7, 2}, {-0.5, 0}, {-1, 3},
                                 {NAN, 3}, {INFINITY, 3}, {1.8e19, 18'000'000'000'000'000'000u}, {0x1p64, 3}})
    EXPECT_EQ(scalingOf(number), scaling) << number;
  PixelBudget budget;  // exactly the limit over all screens is allowed
  EXPECT_TRUE(budget.add(16000, 5000) && budget.add(16000, 5000) && !budget.add(1, 1));
  const Color red{1, 0, 0, 1};
  const Placement kFallback{3, true, {0, 0, 0, 1}};
  const std::pair<std::optional<PlacementOptions>, std::optional<Placement>> options[] = {  // a fallback per option
      {std::nullopt, kFallback}, {PlacementOptions{2.0, false, red}, Placement{2, false, red}},
      {PlacementOptions{true, {}, {}}, std::nullopt}, {PlacementOptions{{}, OtherKind{}, std::string("#f00")}, kFallback}};
  for (const auto& [given, e] : options) {
    auto p = readPlacement(given);
    EXPECT_TRUE(p ? e && p->scaling == e->scaling && p->clipping == e->clipping && p->fill == e->fill : !e)
        << &given - &options[0].first;
  }
}

TEST(WallpaperTest, FailsInOrderUnreadableThenOverBudgetThenScalingElsePlansTheCoverAsDrawn) {
  const auto zoom = PlacementOptions{std::string("zoom"), {}, {}}, fit = PlacementOptions{3.0, false, Color{0, 1, 0, 1}};
  const char* kUnreadable = kUnreadableWallpaperText;
  const struct { const char* name; const char* url; std::optional<FakeFile> file; bool placed;
                 std::optional<PlacementOptions> options; const char* failure; bool opened, decoded; } cases[] = {
      {"no wallpaper at all", nullptr, {}, false, {}, kUnreadable, false, false},
      {"not a file URL", "https://a.invalid/a.jpg", FakeFile{1, 1}, false, {}, kUnreadable, false, false},
      {"file cannot be opened", "file:///a.jpg", {}, false, {}, kUnreadable, true, false},
      {"header says zero width", "file:///a.jpg", FakeFile{0, 10}, false, {}, kUnreadable, true, false},
      {"header says zero height", "file:///a.jpg", FakeFile{10, 0}, false, {}, kUnreadable, true, false},
      {"pixels do not decode", "file:///a.jpg", FakeFile{100, 100, false}, false, zoom, kUnreadable, true, true},
      {"over the budget", "file:///a.jpg", FakeFile{20000, 10000}, false, zoom, kTooManyPixelsText, true, false},
      {"bad scaling", "file:///a.jpg", FakeFile{100, 100}, false, zoom, kUnsupportedScalingText, true, true},
      {"5K file", "file:///a.jpg", FakeFile{5120, 2880}, false, fit, nullptr, true, true},
      {"5K placed image", nullptr, FakeFile{5120, 2880}, true, fit, nullptr, false, true},
  };
  for (const auto& c : cases) {
    FakeMaskPlatform platform;
    platform.screenList = {{0, 0, 1920, 1080}};
    if (c.url) platform.urls[0] = c.url;
    if (c.file) (c.placed ? platform.placedImages[0] : platform.files[c.url]) = *c.file;
    platform.options = c.options;
    PixelBudget budget;
    WallpaperResult r = loadWallpaper(platform, platform.screenList[0], budget);
    // A URL that is not a file is never touched; the budget is checked before decoding.
    EXPECT_TRUE(platform.opened.size() == c.opened && platform.decodes.size() == c.decoded) << c.name;
    const CoverPlan* plan = std::get_if<CoverPlan>(&r);
    EXPECT_STREQ(plan ? "a plan" : std::get<const char*>(r), c.failure ? c.failure : "a plan") << c.name;
    if (!plan) continue;
    EXPECT_TRUE(plan->frame == platform.screenList[0] && plan->imageSize.width == 5120 && plan->imageSize.height == 2880 &&
                plan->placed == (Rect{0, 0, 1920, 1080}) && plan->scaling == 3 && !plan->clipping);
    EXPECT_TRUE(plan->fill == (Color{0, 1, 0, 1}) && plan->image && plan->image->width == 1920 && plan->image->height == 1080);
    EXPECT_EQ(budget.total(), 5120.0 * 2880.0);
  }
}

// A mask on one 1280 x 800 screen with a 2560 x 1600 wallpaper; a second screen shows a 100 x 50 one.
struct Rig {
  FakeMaskPlatform platform;
  FakeProcess process;
  RecordingOutput out;
  Channel channel{out, [](const std::string&) {}};
  FakeClock clock;
  DesktopMask mask{platform, process, channel, clock};
  Rig() {
    platform.screenList = {{0, 0, 1280, 800}};
    platform.urls = {{0, "file:///wall.png"}, {1, "file:///b"}};
    platform.files = {{"file:///wall.png", {2560, 1600}}, {"file:///b", {100, 50}}};
  }
  Outcome start() { return mask.start({"quorvane-desktop", "--mask-desktop"}); }
  // Moves the clock to each wake-up in turn, running timers as the event loop would.
  Outcome runFor(double seconds) {
    double end = clock.time + seconds;
    for (auto next = mask.nextWakeup(); next && clock.time < end; next = mask.nextWakeup()) {
      clock.time = std::min(std::max(*next, clock.time), end);
      if (Outcome o = mask.onTimers()) return o;
    }
    clock.time = std::max(clock.time, end);
    return std::nullopt;
  }
};

TEST(MaskTest, SelfTestWritesPlacementsAndWhetherTheLevelsFitAndOtherArgumentsAreRefused) {
  for (auto [icons, normal, levels] : {std::tuple{5, 6, R"("aboveDesktopIcons":true,"belowNormalWindows":false)"},
                                       {INT32_MAX, INT32_MAX, R"("aboveDesktopIcons":false,"belowNormalWindows":false)"}}) {
    Rig r;
    r.platform.iconLevel = icons, r.platform.normalLevel = normal;
    EXPECT_EQ(r.mask.start({"quorvane-desktop", "--self-test"}), quietExit());
    EXPECT_EQ(r.out.text(), std::string("{") + levels + R"(,"fill":{"height":100,"width":200,"x":-50,"y":0},)"
                                R"("fit":{"height":50,"width":100,"x":0,"y":25},"maxLifetimeSeconds":10})" "\n");
    EXPECT_FALSE(r.platform.accessory || r.platform.wallpaperAsks);
  }
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {}, {"quorvane-desktop"}, {"quorvane-desktop", "--mask-desktop", "--self-test"}, {"quorvane-desktop", ""},
           {"quorvane-desktop", "--MASK-DESKTOP"}, {"quorvane-desktop", "--self-test", "x"}, {"quorvane-desktop", " --mask-desktop"}}) {
    Rig r;
    EXPECT_EQ(r.mask.start(argv), failure(kInvalidModeText)) << testing::PrintToString(argv);
    EXPECT_TRUE(r.out.writes.empty() && r.platform.covers.empty() && !r.platform.shown);
  }
}

TEST(MaskTest, CoversEveryScreenAboveTheIconsOnlyIfEveryScreenIsValidAndHasItsWallpaper) {
  const Screen k100{0, 0, 100, 100}, kBig{0, 0, 16383, 16383}, kRight{1280, 0, 1280, 800};  // kBig: 1 GiB of cover
  const struct { const char* name; std::vector<Screen> screens; bool secondDecodes; const char* failure; } cases[] = {
      {"none", {}, true, kNoDisplayText}, {"sixteen", std::vector<Screen>(16, k100), true, nullptr},
      {"two side by side", {{0, 0, 1280, 800}, kRight}, true, nullptr}, {"seventeen", std::vector<Screen>(17, k100), true, kNoDisplayText},
      {"no width", {{0, 0, 0, 800}}, true, kNoDisplayText}, {"no height", {{0, 0, 1280, 0}}, true, kNoDisplayText},
      {"largest side", {{0, 0, 32766, 100}}, true, nullptr}, {"wider than X holds", {{0, 0, 32767, 100}}, true, kNoDisplayText},
      {"taller than X holds", {{0, 0, 100, 65535}}, true, kNoDisplayText}, {"1 GiB of covers", {kBig}, true, nullptr},
      {"over 1 GiB of covers", {kBig, k100}, true, kNoDisplayText},
      {"a later screen's wallpaper fails", {k100, kRight}, false, kUnreadableWallpaperText}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.platform.iconLevel = 7;
    r.platform.screenList = c.screens;
    for (size_t i = 2; i < c.screens.size(); ++i) r.platform.urls[i] = "file:///b";
    r.platform.files["file:///b"].decodable = c.secondDecodes;
    EXPECT_EQ(r.start(), c.failure ? Outcome(failure(c.failure)) : Outcome());
    EXPECT_TRUE(r.platform.shown == !c.failure && r.platform.wallpaperAsks == (c.failure == kNoDisplayText ? 0 : int(c.screens.size())));
    EXPECT_TRUE(r.mask.nextWakeup().has_value() != bool(c.failure) && r.platform.accessory && r.out.writes.empty());
    if (c.failure) continue;
    ASSERT_EQ(r.platform.covers.size(), c.screens.size());
    for (size_t i = 0; i < c.screens.size(); ++i) {  // placed in the screen's own bounds: from at or before its corner
      const auto& [plan, level] = r.platform.covers[i];
      EXPECT_TRUE(plan.frame == c.screens[i] && level == 8 && plan.placed.x <= 0 && plan.placed.y <= 0) << i;
    }
  }
}

TEST(MaskTest, ReadyComesOnceAFifteenthAfterTheCoversAreOnScreenAndControlChunksAreJudgedWhole) {
  Rig r;  // the window server shows the covers in its own time
  ASSERT_TRUE(!r.start() && !r.runFor(0.3));
  r.mask.onCoversShown();
  EXPECT_TRUE(!r.runFor(kReadyDelay - 0.001) && r.out.writes.empty());
  EXPECT_FALSE(r.runFor(0.002));
  r.mask.onCoversShown();
  EXPECT_FALSE(r.runFor(1.0));
  EXPECT_EQ(r.out.text(), "{\"type\":\"ready\"}\n");
  for (const std::string& chunk : {"stop"s, "stop\r\n"s, "STOP\n"s, "\n"s, "stop\nstop\n"s, "stop\0\n"s}) {
    Rig m;
    ASSERT_EQ(m.start(), std::nullopt);
    EXPECT_EQ(m.mask.onControlChunk(chunk), failure(kInvalidControlText)) << testing::PrintToString(chunk);
  }
}

TEST(MaskTest, EndsOnTheFirstEventThatEndStandsAndItsTextIsReported) {
  const struct { const char* name; std::function<Outcome(Rig&)> event; Exit exit; double earliest, latest; } cases[] = {
      {"stop", [](Rig& r) { return r.mask.onControlChunk("stop\n"); }, quietExit(), 0, 0},
      {"end of input", [](Rig& r) { return r.mask.onControlChunk(""); }, quietExit(), 0, 0},
      {"workspace", [](Rig& r) { return r.mask.onSpaceChanged(); }, failure(kSpaceChangedText), 0, 0},
      {"screens", [](Rig& r) { return r.mask.onScreensChanged(); }, failure(kScreensChangedText), 0, 0},
      {"terminated", [](Rig& r) { return r.mask.onTerminate(); }, quietExit(), 0, 0},
      {"ten seconds", [](Rig& r) { return r.runFor(20); }, failure(kTimedOutText), 10, 10 + kWatchInterval},
      {"parent dead", [](Rig& r) { r.runFor(0.3); r.process.dead.insert(r.process.parent); return r.runFor(1); },
       quietExit(), 0.3, 0.4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    double t0 = r.clock.time;
    ASSERT_EQ(r.start(), std::nullopt);
    r.mask.onCoversShown();
    EXPECT_EQ(c.event(r), c.exit);
    EXPECT_TRUE(r.clock.time - t0 >= c.earliest && r.clock.time - t0 <= c.latest + 1e-9 && !r.mask.nextWakeup()) << r.clock.time - t0;
    size_t written = r.out.text().size();  // the ready, where time passed
    r.clock.time += 11;
    EXPECT_TRUE(r.mask.onTimers() == c.exit && r.mask.onControlChunk("x") == c.exit && r.mask.onScreensChanged() == c.exit &&
                r.out.text().size() == written);
    EXPECT_EQ(reportExit(r.channel, c.exit), c.exit.status);
    EXPECT_EQ(r.out.text().substr(written), c.exit.text.empty() ? "" : R"({"error":")" + c.exit.text + "\",\"type\":\"error\"}\n");
  }
  // The watch and the time limit run while the wallpapers are read: the second screen is not read.
  for (auto [meanwhile, exit] : {std::pair<void (*)(Rig&), Exit>{[](Rig& r) { r.process.parent = 1; }, quietExit()},
                                 {[](Rig& r) { r.clock.time += 10; }, failure(kTimedOutText)}}) {
    Rig r;
    r.platform.screenList.push_back({1280, 0, 1280, 800});
    r.platform.whileOpening = [&] { meanwhile(r); };
    EXPECT_EQ(r.start(), exit);
    EXPECT_TRUE(r.platform.opened.size() == 1 && !r.platform.shown);
  }
}

}  // namespace
}  // namespace quorvane::desktop
