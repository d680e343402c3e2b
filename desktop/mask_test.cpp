#include <gtest/gtest.h>
#include <tuple>

#include "common/fake_process.h"
#include "desktop/fake_mask_platform.h"
#include "desktop/mask.h"

namespace quorvane::desktop {
namespace {
using namespace std::string_literals;

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
    platform.drawn = {{0, {"file:///wall.png", {}}}, {1, {"file:///b", {}}}};
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
                                       {INT32_MAX, INT32_MAX,
                                        R"("aboveDesktopIcons":false,"belowNormalWindows":false)"}}) {
    Rig r;
    r.platform.iconLevel = icons, r.platform.normalLevel = normal;
    EXPECT_EQ(r.mask.run({"quorvane-desktop", "--self-test"}), quietExit());
    EXPECT_EQ(r.out.text(), std::string("{") + levels + R"(,"fill":{"height":100,"width":200,"x":-50,"y":0},)"
                                R"("fit":{"height":50,"width":100,"x":0,"y":25},"maxLifetimeSeconds":10})" "\n");
    EXPECT_EQ(std::tuple(r.platform.questions, r.platform.runs), std::tuple("", 0));
  }
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {}, {"quorvane-desktop"}, {"quorvane-desktop", "--mask-desktop", "--self-test"}, {"quorvane-desktop", ""},
           {"quorvane-desktop", "--MASK-DESKTOP"}, {"quorvane-desktop", "--self-test", "x"},
           {"quorvane-desktop", " --mask-desktop"}}) {
    Rig r;
    EXPECT_EQ(r.mask.run(argv), failure(texts::kInvalidMode)) << testing::PrintToString(argv);
    EXPECT_EQ(std::tuple(r.out.writes.size(), r.platform.covers.size(), r.platform.shown, r.platform.runs),
              std::tuple(0u, 0u, 0, 0));
  }
}

// The event loop runs once the covers are shown, and only then.
TEST(MaskTest, CoversEveryScreenOnlyIfEveryScreenIsValidAndHasItsWallpaper) {
  const Screen k100{0, 0, 100, 100}, kBig{0, 0, 16383, 16383}, kRight{1280, 0, 1280, 800};  // kBig: 1 GiB of cover
  const char* kNoDisplay = texts::kNoDisplay;
  const struct { const char* name; std::vector<Screen> screens; bool secondDecodes; const char* failure; } cases[] = {
      {"none", {}, true, kNoDisplay}, {"sixteen", std::vector<Screen>(16, k100), true, nullptr},
      {"two side by side", {{0, 0, 1280, 800}, kRight}, true, nullptr},
      {"seventeen", std::vector<Screen>(17, k100), true, kNoDisplay},
      {"no width", {{0, 0, 0, 800}}, true, kNoDisplay}, {"no height", {{0, 0, 1280, 0}}, true, kNoDisplay},
      {"largest side", {{0, 0, 32766, 100}}, true, nullptr},
      {"wider than X holds", {{0, 0, 32767, 100}}, true, kNoDisplay},
      {"taller than X holds", {{0, 0, 100, 65535}}, true, kNoDisplay}, {"1 GiB of covers", {kBig}, true, nullptr},
      {"over 1 GiB of covers", {kBig, k100}, true, kNoDisplay},
      {"a later screen's wallpaper fails", {k100, kRight}, false, texts::kUnreadableWallpaper}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.platform.screenList = c.screens;
    for (size_t i = 2; i < c.screens.size(); ++i) r.platform.drawn[i] = {"file:///b", {}};
    r.platform.files["file:///b"].decodable = c.secondDecodes;
    Exit loopEnd{7, "the loop"};
    EXPECT_EQ(r.mask.run({"quorvane-desktop", "--mask-desktop"}), c.failure ? failure(c.failure) : loopEnd);
    size_t screensRead = c.failure == kNoDisplay ? 0 : c.screens.size();
    EXPECT_EQ(std::tuple(r.platform.shown, r.platform.runs, r.platform.opened.size(), r.out.text()),
              std::tuple(c.failure ? 0 : 1, c.failure ? 0 : 1, screensRead, ""s));
    if (c.failure) continue;
    ASSERT_EQ(r.platform.covers.size(), c.screens.size());
    for (size_t i = 0; i < c.screens.size(); ++i) {  // placed in the screen's own bounds: from at or before its corner
      const CoverPlan& plan = r.platform.covers[i];
      EXPECT_EQ(std::tuple(plan.frame, plan.placed.x <= 0, plan.placed.y <= 0), std::tuple(c.screens[i], true, true))
          << i;
    }
  }
}

TEST(MaskTest, ReadyComesOnceAFifteenthAfterTheCoversAreOnScreenAndControlChunksAreJudgedWhole) {
  Rig r;  // the window server shows the covers in its own time
  r.clock.time = 0;  // where a tenth of a second in binary has no rounding error to speak of
  ASSERT_EQ(r.start(), std::nullopt);
  EXPECT_EQ(r.mask.millisToWakeup(), 100);  // the watch
  r.clock.time += 0.0995;
  EXPECT_EQ(r.mask.millisToWakeup(), 1);  // rounded up: never early
  ASSERT_EQ(r.runFor(0.3), std::nullopt);
  r.mask.onCoversShown();
  EXPECT_EQ(std::tuple(r.runFor(kReadyDelay - 0.001), r.out.text()), std::tuple(Outcome(), ""s));
  EXPECT_EQ(r.runFor(0.002), std::nullopt);
  r.mask.onCoversShown();
  EXPECT_EQ(r.runFor(1.0), std::nullopt);
  EXPECT_EQ(r.out.text(), "{\"type\":\"ready\"}\n");
  for (const std::string& chunk : {"stop"s, "stop\r\n"s, "STOP\n"s, "\n"s, "stop\nstop\n"s, "stop\0\n"s}) {
    Rig m;
    ASSERT_EQ(m.start(), std::nullopt);
    EXPECT_EQ(m.mask.onControlChunk(chunk), failure(texts::kInvalidControl)) << testing::PrintToString(chunk);
  }
}

TEST(MaskTest, EndsOnTheFirstEventThatEndStandsAndItsTextIsReported) {
  const struct { const char* name; std::function<Outcome(Rig&)> event; Exit exit; double earliest, latest; } cases[] = {
      {"stop", [](Rig& r) { return r.mask.onControlChunk("stop\n"); }, quietExit(), 0, 0},
      {"end of input", [](Rig& r) { return r.mask.onControlChunk(""); }, quietExit(), 0, 0},
      {"workspace", [](Rig& r) { return r.mask.onSpaceChanged(); }, failure(texts::kSpaceChanged), 0, 0},
      {"screens", [](Rig& r) { return r.mask.onScreensChanged(); }, failure(texts::kScreensChanged), 0, 0},
      {"terminated", [](Rig& r) { return r.mask.onTerminate(); }, quietExit(), 0, 0},
      {"ten seconds", [](Rig& r) { return r.runFor(20); }, failure(texts::kTimedOut), 10, 10 + kWatchInterval},
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
    double took = r.clock.time - t0;
    EXPECT_EQ(std::tuple(took >= c.earliest, took <= c.latest + 1e-9, r.mask.nextWakeup(), r.mask.millisToWakeup()),
              std::tuple(true, true, std::nullopt, -1)) << took;
    size_t written = r.out.text().size();  // the ready, where time passed
    r.clock.time += 11;
    EXPECT_EQ(std::tuple(r.mask.onTimers(), r.mask.onControlChunk("x"), r.mask.onScreensChanged(), r.out.text().size()),
              std::tuple(Outcome(c.exit), Outcome(c.exit), Outcome(c.exit), written));
    EXPECT_EQ(reportExit(r.channel, c.exit), c.exit.status);
    EXPECT_EQ(r.out.text().substr(written),
              c.exit.text.empty() ? "" : R"({"error":")" + c.exit.text + "\",\"type\":\"error\"}\n");
  }
}

TEST(MaskTest, TheParentTheTimeLimitAndSigtermAreWatchedWhileTheWallpapersAreRead) {
  const struct { const char* name; void (*meanwhile)(Rig&); Exit exit; } cases[] = {
      {"parent gone", [](Rig& r) { r.process.parent = 1; }, quietExit()},
      {"ten seconds", [](Rig& r) { r.clock.time += 10; }, failure(texts::kTimedOut)},
      {"SIGTERM", [](Rig& r) { r.platform.terminated = true; }, quietExit()},
  };
  // Whether the wallpaper read meanwhile fails or not, the end that came first stands.
  for (bool readable : {true, false}) {
    for (const auto& c : cases) {
      Rig r;  // the second screen is never read
      r.platform.screenList.push_back({1280, 0, 1280, 800});
      if (!readable) r.platform.files.erase("file:///wall.png");
      r.platform.whileOpening = [&] { c.meanwhile(r); };
      EXPECT_EQ(r.start(), c.exit) << c.name << readable;
      EXPECT_EQ(std::tuple(r.platform.opened.size(), r.platform.shown), std::tuple(1u, 0)) << c.name << readable;
    }
  }
  // Nor is the end taken for a window system that could not tell its screens.
  for (const auto& c : {cases[0], cases[2]}) {
    Rig r;
    r.platform.screenList.clear();
    c.meanwhile(r);
    EXPECT_EQ(r.start(), c.exit) << c.name;
  }
}

}  // namespace
}  // namespace quorvane::desktop
