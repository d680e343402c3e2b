#include "desktop/mask.h"

#include <gtest/gtest.h>

#include "desktop/fake_platform.h"
#include "desktop/wallpaper.h"

namespace quorvane::desktop {
namespace {

std::string errorLine(const char* text) { return Json{{"type", "error"}, {"error", text}}.dump(); }
const std::string kReadyLine = R"({"type":"ready"})";

// A mask of its own on one 100 x 100 screen, for cases that each need a fresh one.
struct OneScreenMask {
  FakePlatform p;
  RecordingOutput o;
  Channel ch{o, [](const std::string&) {}};
  FakeClock fc;
  DesktopMask m{p, ch, fc};

  OneScreenMask() {
    p.screenList = {{0, 0, 100, 100}};
    p.urls[0] = "file:///w";
    p.files["file:///w"] = {100, 100, true};
  }
};

struct MaskFixture : ::testing::Test {
  FakePlatform platform;
  RecordingOutput out;
  int encodeFailures = 0;
  Channel channel{out, [this](const std::string&) { ++encodeFailures; }};
  FakeClock clock;
  DesktopMask mask{platform, channel, clock};

  void SetUp() override { addScreen({0, 0, 1280, 800}, "file:///wall.png", {2560, 1600}); }

  void addScreen(Screen s, const std::string& url, FakeFile file) {
    platform.urls[platform.screenList.size()] = url;
    platform.screenList.push_back(s);
    platform.files[url] = file;
  }
  Verdict startMask() { return mask.start({"quorvane-desktop", "--mask-desktop"}); }
  // Moves the clock in small steps, running timers as the event loop would.
  Verdict runFor(double seconds) {
    double end = clock.time + seconds;
    while (clock.time < end) {
      auto next = mask.nextWakeup();
      if (!next) return Verdict::carryOn();
      clock.time = std::min(std::max(*next, clock.time), end);
      Verdict v = mask.onTimers();
      if (v.end) return v;
      if (clock.time >= end) break;
    }
    return Verdict::carryOn();
  }
};

TEST_F(MaskFixture, SelfTestWritesItsObjectAndTouchesNoWindow) {
  Verdict v = mask.start({"quorvane-desktop", "--self-test"});
  EXPECT_TRUE(v.end);
  EXPECT_EQ(v.status, 0);
  ASSERT_EQ(out.lines().size(), 1u);
  EXPECT_EQ(out.lines()[0],
            R"({"aboveDesktopIcons":true,"belowNormalWindows":true,"fill":{"height":100,"width":200,"x":-50,"y":0},)"
            R"("fit":{"height":50,"width":100,"x":0,"y":25},"maxLifetimeSeconds":10})");
  EXPECT_FALSE(platform.accessory);
  EXPECT_EQ(platform.wallpaperAsks, 0);
}

TEST_F(MaskFixture, SelfTestReportsLevelsThatDoNotFit) {
  platform.iconLevel = 5;
  platform.normalLevel = 6;  // the cover would sit at 6: not below normal windows
  mask.start({"quorvane-desktop", "--self-test"});
  Json j = Json::parse(out.lines().at(0));
  EXPECT_TRUE(j["aboveDesktopIcons"].get<bool>());
  EXPECT_FALSE(j["belowNormalWindows"].get<bool>());
}

TEST(MaskCommandLineTest, AnythingButTheTwoFormsIsRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"quorvane-desktop"},
      {"quorvane-desktop", "--mask-desktop", "--self-test"},
      {"quorvane-desktop", "--MASK-DESKTOP"},
      {"quorvane-desktop", "--Self-Test"},
      {"quorvane-desktop", "--self-test", "x"},
      {"quorvane-desktop", "--mask-desktop", ""},
      {"quorvane-desktop", "mask-desktop"},
      {"quorvane-desktop", " --mask-desktop"},
      {"quorvane-desktop", ""},
  };
  for (const auto& argv : cases) {
    FakePlatform platform;
    platform.screenList = {{0, 0, 100, 100}};
    RecordingOutput out;
    Channel channel{out, [](const std::string&) {}};
    FakeClock clock;
    DesktopMask mask{platform, channel, clock};
    Verdict v = mask.start(argv);
    SCOPED_TRACE(argv.size() > 1 ? argv[1] : "(short)");
    EXPECT_TRUE(v.end);
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(out.lines(), std::vector<std::string>{errorLine(kInvalidModeText)});
    EXPECT_TRUE(platform.covers.empty());
    EXPECT_EQ(platform.shown, 0);
  }
}

TEST_F(MaskFixture, CoversEveryScreenAtTheLevelAboveTheIcons) {
  addScreen({1280, 0, 1280, 800}, "file:///right.png", {100, 50});
  platform.iconLevel = 7;
  Verdict v = startMask();
  ASSERT_FALSE(v.end);
  EXPECT_TRUE(platform.accessory);
  ASSERT_EQ(platform.covers.size(), 2u);
  EXPECT_EQ(platform.covers[1].frame, (Screen{1280, 0, 1280, 800}));
  // Placement is in the screen's own bounds, whatever its position.
  EXPECT_EQ(platform.covers[1].placed, (Rect{-160, 0, 1600, 800}));
  EXPECT_EQ(platform.levels, (std::vector<std::int32_t>{8, 8}));
  EXPECT_EQ(platform.shown, 1);
  EXPECT_TRUE(out.writes.empty());
}

TEST_F(MaskFixture, ScreenCountsOutsideOneToSixteenAreRefused) {
  const struct {
    size_t screens;
    bool ok;
  } cases[] = {{0, false}, {1, true}, {16, true}, {17, false}};
  for (const auto& c : cases) {
    FakePlatform p;
    for (size_t i = 0; i < c.screens; ++i) {
      p.screenList.push_back({static_cast<std::int32_t>(i * 100), 0, 100, 100});
      p.urls[i] = "file:///w.png";
    }
    p.files["file:///w.png"] = {100, 100, true};
    RecordingOutput o;
    Channel ch{o, [](const std::string&) {}};
    DesktopMask m{p, ch, clock};
    Verdict v = m.start({"quorvane-desktop", "--mask-desktop"});
    SCOPED_TRACE(c.screens);
    EXPECT_EQ(v.end, !c.ok);
    EXPECT_EQ(p.shown, c.ok ? 1 : 0);
    if (c.ok) {
      EXPECT_EQ(p.covers.size(), c.screens);
    } else {
      EXPECT_EQ(v.status, 1);
      EXPECT_EQ(o.lines(), std::vector<std::string>{errorLine(kNoDisplayText)});
      EXPECT_EQ(p.wallpaperAsks, 0);
    }
  }
}

TEST_F(MaskFixture, AScreenWithoutAreaIsNotAValidDisplay) {
  platform.screenList.push_back({1280, 0, 0, 800});
  Verdict v = startMask();
  EXPECT_EQ(v.status, 1);
  EXPECT_EQ(out.lines(), std::vector<std::string>{errorLine(kNoDisplayText)});
}

TEST_F(MaskFixture, ALaterScreensFailureShowsNothing) {
  const struct {
    const char* name;
    FakeFile second;
    const char* text;
  } cases[] = {
      {"unreadable", {100, 100, false}, kUnreadableWallpaperText},
      {"budget passed only by the sum", {10000, 10000, true}, kTooManyPixelsText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p;
    p.screenList = {{0, 0, 1280, 800}, {1280, 0, 1280, 800}};
    p.urls = {{0, "file:///a"}, {1, "file:///b"}};
    p.files = {{"file:///a", {10000, 10000, true}}, {"file:///b", c.second}};
    RecordingOutput o;
    Channel ch{o, [](const std::string&) {}};
    DesktopMask m{p, ch, clock};
    Verdict v = m.start({"quorvane-desktop", "--mask-desktop"});
    EXPECT_TRUE(v.end);
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(o.lines(), std::vector<std::string>{errorLine(c.text)});
    EXPECT_EQ(p.covers.size(), 1u);
    EXPECT_EQ(p.shown, 0);
    EXPECT_TRUE(m.finished());
    EXPECT_FALSE(m.nextWakeup());
  }
}

TEST_F(MaskFixture, ControlChunksAreJudgedWhole) {
  const struct {
    std::string chunk;
    int status;
  } cases[] = {
      {"stop\n", 0},
      {"", 0},
      {"stop", 1},
      {"stop\r\n", 1},
      {"stop\nstop\n", 1},
      {"stop\n" + std::string(96, 'x'), 1},
      {"stop\n" + std::string(95, '\n'), 1},
      {std::string("\xff\xfe\n", 3), 1},
      {std::string("stop\n\x80", 6), 1},
      {"STOP\n", 1},
      {"sto", 1},
      {"\n", 1},
      {std::string("stop\0\n", 6), 1},
  };
  for (const auto& c : cases) {
    OneScreenMask fresh;
    auto& [p, o, ch, fc, m] = fresh;
    ASSERT_FALSE(m.start({"quorvane-desktop", "--mask-desktop"}).end);
    Verdict v = m.onControlChunk(c.chunk);
    SCOPED_TRACE(testing::PrintToString(c.chunk));
    EXPECT_TRUE(v.end);
    EXPECT_EQ(v.status, c.status);
    if (c.status == 0) {
      EXPECT_TRUE(o.writes.empty());
    } else {
      EXPECT_EQ(o.lines(), std::vector<std::string>{errorLine(kInvalidControlText)});
    }
  }
}

TEST_F(MaskFixture, ReadyComesAFifteenthAfterTheCoversAreOnScreen) {
  ASSERT_FALSE(startMask().end);
  double armed = clock.time;
  // Until the window server shows the covers, no ready, however long it takes.
  EXPECT_FALSE(runFor(0.3).end);
  EXPECT_TRUE(out.writes.empty());
  double shownAt = clock.time;
  mask.onCoversShown();
  EXPECT_FALSE(runFor(kReadyDelay - 0.01).end);
  EXPECT_TRUE(out.writes.empty());
  EXPECT_FALSE(runFor(0.02).end);
  EXPECT_EQ(out.lines(), std::vector<std::string>{kReadyLine});
  EXPECT_GT(shownAt, armed);
  // Exactly one ready, however long the cover stays.
  mask.onCoversShown();
  EXPECT_FALSE(runFor(1.0).end);
  EXPECT_EQ(out.lines().size(), 1u);
}

TEST_F(MaskFixture, ReadyCountsFromArmingWhenTheCoversShowAtOnce) {
  ASSERT_FALSE(startMask().end);
  mask.onCoversShown();
  ASSERT_TRUE(mask.nextWakeup());
  EXPECT_FALSE(runFor(0.149).end);
  EXPECT_TRUE(out.writes.empty());
  EXPECT_FALSE(runFor(0.002).end);
  EXPECT_EQ(out.lines(), std::vector<std::string>{kReadyLine});
}

TEST_F(MaskFixture, AnEarlyEndSendsNoReady) {
  const struct {
    const char* name;
    Verdict (DesktopMask::*handler)();
    const char* text;
  } cases[] = {
      {"space", &DesktopMask::onSpaceChanged, kSpaceChangedText},
      {"screens", &DesktopMask::onScreensChanged, kScreensChangedText},
      {"terminate", &DesktopMask::onTerminate, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OneScreenMask fresh;
    auto& [p, o, ch, fc, m] = fresh;
    ASSERT_FALSE(m.start({"quorvane-desktop", "--mask-desktop"}).end);
    m.onCoversShown();
    fc.time += 0.1;
    Verdict v = (m.*c.handler)();
    EXPECT_EQ(v.status, c.text ? 1 : 0);
    // Later events change nothing: one Message at most, the first status stays.
    fc.time += 1;
    EXPECT_EQ(m.onTimers().status, v.status);
    EXPECT_EQ(m.onControlChunk("stop\n").status, v.status);
    EXPECT_EQ(m.onSpaceChanged().status, v.status);
    std::vector<std::string> expected;
    if (c.text) expected.push_back(errorLine(c.text));
    EXPECT_EQ(o.lines(), expected);
  }
}

TEST_F(MaskFixture, TimesOutAfterTenSecondsWithinOneWatchInterval) {
  ASSERT_FALSE(startMask().end);
  mask.onCoversShown();
  EXPECT_FALSE(runFor(9.95).end);
  Verdict v = runFor(0.2);
  EXPECT_TRUE(v.end);
  EXPECT_EQ(v.status, 1);
  EXPECT_GE(clock.time - 1000.0, 10.0);
  EXPECT_LE(clock.time - 1000.0, 10.0 + kWatchInterval + 1e-9);
  EXPECT_EQ(out.lines(), (std::vector<std::string>{kReadyLine, errorLine(kTimedOutText)}));
}

TEST_F(MaskFixture, EndsQuietlyWhenTheParentGoes) {
  const struct {
    const char* name;
    bool reparented;
    bool dead;
  } cases[] = {{"handed to another parent", true, false}, {"parent no longer exists", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OneScreenMask fresh;
    auto& [p, o, ch, fc, m] = fresh;
    ASSERT_FALSE(m.start({"quorvane-desktop", "--mask-desktop"}).end);
    fc.time += 0.1;
    EXPECT_FALSE(m.onTimers().end);
    if (c.reparented) p.parent = 1;
    if (c.dead) p.alive.clear();
    fc.time += 0.1;
    Verdict v = m.onTimers();
    EXPECT_TRUE(v.end);
    EXPECT_EQ(v.status, 0);
    EXPECT_TRUE(o.writes.empty());
  }
}

TEST_F(MaskFixture, TheParentIsTheOneThatStartedUsBeforeTheWallpapersWereRead) {
  // The application dies while the wallpapers load: the first watch ends us.
  struct DyingDuringLoad : FakePlatform {
    std::unique_ptr<WallpaperImage> openImage(const std::string& url) override {
      parent = 1;
      return FakePlatform::openImage(url);
    }
  } p;
  p.screenList = {{0, 0, 100, 100}};
  p.urls[0] = "file:///w";
  p.files["file:///w"] = {100, 100, true};
  p.alive.insert(1);
  RecordingOutput o;
  Channel ch{o, [](const std::string&) {}};
  FakeClock fc;
  DesktopMask m{p, ch, fc};
  ASSERT_FALSE(m.start({"quorvane-desktop", "--mask-desktop"}).end);
  fc.time += kWatchInterval;
  EXPECT_TRUE(m.onTimers().end);
}

TEST_F(MaskFixture, WakesForTheNextTickOrTheReady) {
  ASSERT_FALSE(startMask().end);
  double t0 = clock.time;
  ASSERT_TRUE(mask.nextWakeup());
  EXPECT_DOUBLE_EQ(*mask.nextWakeup(), t0 + kWatchInterval);
  clock.time = t0 + 0.12;
  mask.onTimers();
  mask.onCoversShown();
  EXPECT_DOUBLE_EQ(*mask.nextWakeup(), t0 + 2 * kWatchInterval);
  clock.time = t0 + 0.2;
  mask.onTimers();
  EXPECT_DOUBLE_EQ(*mask.nextWakeup(), t0 + 0.12 + kReadyDelay);
  // A stalled loop does not run the missed ticks in a burst.
  clock.time = t0 + 1.05;
  mask.onTimers();
  EXPECT_DOUBLE_EQ(*mask.nextWakeup(), t0 + 1.1);
}

}  // namespace
}  // namespace quorvane::desktop
