#include "desktop/mask.h"

#include <gtest/gtest.h>

#include "common/fake_process.h"
#include "desktop/fake_mask_platform.h"
#include "desktop/wallpaper.h"

namespace quorvane::desktop {
namespace {

const std::string kReadyLine = R"({"type":"ready"})";
const Exit kQuiet{0, ""};
Exit failed(const char* text) { return Exit{1, text}; }

// A mask on one 1280 x 800 screen with a 2560 x 1600 wallpaper; tests add to it.
struct Rig {
  FakeMaskPlatform platform;
  FakeProcess process;
  RecordingOutput out;
  Channel channel{out, [](const std::string&) {}};
  FakeClock clock;
  DesktopMask mask{platform, process, channel, clock};

  Rig() { addScreen({0, 0, 1280, 800}, "file:///wall.png", {2560, 1600}); }
  void addScreen(Screen s, const std::string& url, FakeFile file) {
    platform.urls[platform.screenList.size()] = url;
    platform.screenList.push_back(s);
    platform.files[url] = file;
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

TEST(MaskTest, SelfTestWritesPlacementsAndWhetherTheLevelsFit) {
  const struct {
    std::int32_t icons, normal;
    const char* levels;
  } cases[] = {{0, 2, R"("aboveDesktopIcons":true,"belowNormalWindows":true)"},
               {5, 6, R"("aboveDesktopIcons":true,"belowNormalWindows":false)"},
               {INT32_MAX, INT32_MAX, R"("aboveDesktopIcons":false,"belowNormalWindows":false)"}};
  for (const auto& c : cases) {
    Rig r;
    r.platform.iconLevel = c.icons;
    r.platform.normalLevel = c.normal;
    EXPECT_EQ(r.mask.start({"quorvane-desktop", "--self-test"}), kQuiet);
    EXPECT_EQ(r.out.lines(), std::vector<std::string>{std::string("{") + c.levels +
                                                      R"(,"fill":{"height":100,"width":200,"x":-50,"y":0},)"
                                                      R"("fit":{"height":50,"width":100,"x":0,"y":25},)"
                                                      R"("maxLifetimeSeconds":10})"});
    EXPECT_FALSE(r.platform.accessory);
    EXPECT_EQ(r.platform.wallpaperAsks, 0);
  }
}

TEST(MaskTest, AnythingButTheTwoFormsIsRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"quorvane-desktop"}, {"quorvane-desktop", "--mask-desktop", "--self-test"},
      {"quorvane-desktop", "--MASK-DESKTOP"}, {"quorvane-desktop", "--self-test", "x"},
      {"quorvane-desktop", " --mask-desktop"}, {"quorvane-desktop", ""}};
  for (const auto& argv : cases) {
    Rig r;
    EXPECT_EQ(r.mask.start(argv), failed(kInvalidModeText)) << testing::PrintToString(argv);
    EXPECT_TRUE(r.out.writes.empty());
    EXPECT_EQ(r.platform.shown + r.platform.covers.size(), 0u);
  }
}

TEST(MaskTest, CoversEveryScreenAtTheLevelAboveTheIcons) {
  Rig r;
  r.addScreen({1280, 0, 1280, 800}, "file:///right.png", {100, 50});
  r.platform.iconLevel = 7;
  ASSERT_EQ(r.start(), std::nullopt);
  EXPECT_TRUE(r.platform.accessory);
  ASSERT_EQ(r.platform.covers.size(), 2u);
  EXPECT_EQ(r.platform.covers[1].frame, (Screen{1280, 0, 1280, 800}));
  // Placement is in the screen's own bounds, whatever its position.
  EXPECT_EQ(r.platform.covers[1].placed, (Rect{-160, 0, 1600, 800}));
  EXPECT_EQ(r.platform.levels, (std::vector<std::int32_t>{8, 8}));
  EXPECT_EQ(r.platform.shown, 1);
  EXPECT_TRUE(r.out.writes.empty());
}

TEST(MaskTest, OnlyOneToSixteenScreensOfAreaThatCoversCanHoldAreValid) {
  const struct {
    const char* name;
    std::vector<Screen> screens;
    bool valid;
  } cases[] = {
      {"none", {}, false},
      {"sixteen", std::vector<Screen>(16, Screen{0, 0, 100, 100}), true},
      {"seventeen", std::vector<Screen>(17, Screen{0, 0, 100, 100}), false},
      {"no width", {{0, 0, 0, 800}}, false},
      {"no height", {{0, 0, 1280, 0}}, false},
      {"largest side", {{0, 0, 32766, 100}}, true},
      {"wider than X holds", {{0, 0, 32767, 100}}, false},
      {"taller than X holds", {{0, 0, 100, 65535}}, false},
      {"1 GiB of covers", {{0, 0, 16383, 16383}}, true},
      {"over 1 GiB of covers", {{0, 0, 16383, 16383}, {0, 0, 100, 100}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.platform.screenList = c.screens;
    r.platform.urls.clear();
    for (size_t i = 0; i < c.screens.size(); ++i) r.platform.urls[i] = "file:///wall.png";
    r.platform.files["file:///wall.png"] = {100, 100, true};
    Outcome o = r.start();
    EXPECT_EQ(o, c.valid ? Outcome() : failed(kNoDisplayText));
    EXPECT_EQ(r.platform.wallpaperAsks, c.valid ? static_cast<int>(c.screens.size()) : 0);
  }
}

TEST(MaskTest, ALaterScreensFailureShowsNothing) {
  Rig r;
  r.addScreen({1280, 0, 1280, 800}, "file:///b", {100, 100, false});
  EXPECT_EQ(r.start(), failed(kUnreadableWallpaperText));
  EXPECT_EQ(r.platform.covers.size(), 1u);
  EXPECT_EQ(r.platform.shown, 0);
  EXPECT_FALSE(r.mask.nextWakeup());
}

TEST(MaskTest, ControlChunksAreJudgedWhole) {
  const struct {
    std::string chunk;
    bool stops;
  } cases[] = {
      {"stop\n", true},  {"", true},         {"stop", false},       {"stop\r\n", false},
      {"STOP\n", false}, {"\n", false},      {"stop\nstop\n", false}, {"stop\n" + std::string(96, 'x'), false},
      {std::string("\xff\xfe\n", 3), false}, {std::string("stop\0\n", 6), false},
  };
  for (const auto& c : cases) {
    Rig r;
    ASSERT_EQ(r.start(), std::nullopt);
    EXPECT_EQ(r.mask.onControlChunk(c.chunk), c.stops ? kQuiet : failed(kInvalidControlText))
        << testing::PrintToString(c.chunk);
  }
}

TEST(MaskTest, ReadyComesOnceAFifteenthAfterTheCoversAreOnScreen) {
  const double kShownAfter[] = {0.0, 0.3};  // at once, or when the window server gets round to it
  for (double shownAfter : kShownAfter) {
    Rig r;
    ASSERT_EQ(r.start(), std::nullopt);
    EXPECT_EQ(r.runFor(shownAfter), std::nullopt);
    r.mask.onCoversShown();
    EXPECT_EQ(r.runFor(kReadyDelay - 0.001), std::nullopt);
    EXPECT_TRUE(r.out.writes.empty()) << shownAfter;
    EXPECT_EQ(r.runFor(0.002), std::nullopt);
    r.mask.onCoversShown();
    EXPECT_EQ(r.runFor(1.0), std::nullopt);
    EXPECT_EQ(r.out.lines(), std::vector<std::string>{kReadyLine}) << shownAfter;
  }
}

TEST(MaskTest, TheFirstEndStandsAndNoReadyFollowsIt) {
  const struct {
    Outcome (DesktopMask::*handler)();
    Exit exit;
  } cases[] = {{&DesktopMask::onSpaceChanged, failed(kSpaceChangedText)},
               {&DesktopMask::onScreensChanged, failed(kScreensChangedText)},
               {&DesktopMask::onTerminate, kQuiet}};
  for (const auto& c : cases) {
    Rig r;
    ASSERT_EQ(r.start(), std::nullopt);
    r.mask.onCoversShown();
    EXPECT_EQ((r.mask.*c.handler)(), c.exit);
    r.clock.time += 11;
    EXPECT_EQ(r.mask.onTimers(), c.exit);
    EXPECT_EQ(r.mask.onControlChunk("x"), c.exit);
    EXPECT_EQ(r.mask.onScreensChanged(), c.exit);
    EXPECT_TRUE(r.out.writes.empty());
  }
}

TEST(MaskTest, EndsAfterTenSecondsWithinOneWatchInterval) {
  Rig r;
  ASSERT_EQ(r.start(), std::nullopt);
  r.mask.onCoversShown();
  EXPECT_EQ(r.runFor(9.95), std::nullopt);
  EXPECT_EQ(r.runFor(0.2), failed(kTimedOutText));
  EXPECT_GE(r.clock.time - 1000.0, kMaxLifetimeSeconds);
  EXPECT_LE(r.clock.time - 1000.0, kMaxLifetimeSeconds + kWatchInterval + 1e-9);
}

TEST(MaskTest, EndsQuietlyAtTheFirstWatchAfterTheParentGoes) {
  for (bool reparented : {true, false}) {
    Rig r;
    ASSERT_EQ(r.start(), std::nullopt);
    EXPECT_EQ(r.runFor(kWatchInterval), std::nullopt);
    if (reparented) r.process.parent = 1;
    else r.process.dead.insert(r.process.parent);
    EXPECT_EQ(r.runFor(kWatchInterval), kQuiet);
  }
}

TEST(MaskTest, TheWatchAndTheTimeLimitRunWhileTheWallpapersAreRead) {
  const struct {
    const char* name;
    std::function<void(Rig&)> meanwhile;
    Exit exit;
  } cases[] = {
      {"the application dies", [](Rig& r) { r.process.parent = 1; }, kQuiet},
      {"the reading takes ten seconds", [](Rig& r) { r.clock.time += kMaxLifetimeSeconds; }, failed(kTimedOutText)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.addScreen({1280, 0, 1280, 800}, "file:///b", {100, 100});
    r.platform.whileOpening = [&] { c.meanwhile(r); };
    EXPECT_EQ(r.start(), c.exit);
    EXPECT_EQ(r.platform.opened.size(), 1u);  // the second screen is not read
    EXPECT_EQ(r.platform.shown, 0);
  }
}

TEST(MaskTest, WakesForTheNextTickOrTheReadyAndSkipsMissedTicks) {
  Rig r;
  ASSERT_EQ(r.start(), std::nullopt);
  double t0 = r.clock.time;
  EXPECT_DOUBLE_EQ(*r.mask.nextWakeup(), t0 + kWatchInterval);
  r.clock.time = t0 + 0.12;
  r.mask.onTimers();
  r.mask.onCoversShown();
  EXPECT_DOUBLE_EQ(*r.mask.nextWakeup(), t0 + 2 * kWatchInterval);
  r.clock.time = t0 + 0.2;
  r.mask.onTimers();
  EXPECT_DOUBLE_EQ(*r.mask.nextWakeup(), t0 + 0.12 + kReadyDelay);
  r.clock.time = t0 + 1.05;
  r.mask.onTimers();
  EXPECT_DOUBLE_EQ(*r.mask.nextWakeup(), t0 + 1.1);
}

TEST(ReportExitTest, WritesTheErrorMessageOfAnEndWithText) {
  RecordingOutput out;
  int encodeFailures = 0;
  Channel channel{out, [&](const std::string&) { ++encodeFailures; }};
  EXPECT_EQ(reportExit(channel, kQuiet), 0);
  EXPECT_EQ(reportExit(channel, Exit{1, {}}), 1);
  EXPECT_TRUE(out.writes.empty());
  EXPECT_EQ(reportExit(channel, failed(kTimedOutText)), 1);
  EXPECT_EQ(out.lines(), std::vector<std::string>{R"({"error":")" + std::string(kTimedOutText) +
                                                  R"(","type":"error"})"});
  EXPECT_EQ(reportExit(channel, Exit{0, "\xff"}), 1);  // cannot be encoded
  EXPECT_EQ(encodeFailures, 1);
}

}  // namespace
}  // namespace quorvane::desktop
