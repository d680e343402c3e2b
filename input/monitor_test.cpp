#include "input/monitor.h"

#include <cmath>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"
#include "input/texts.h"

namespace quorvane::input {
namespace {

using Lines = std::vector<std::string>;
constexpr std::uint32_t kWindow = 77, kDisplay = 300;
const KeyNames kNames = buildNames();
const std::string kReady = R"({"type":"ready"})";
// The window's frame, then a sample of the pointer at (5, 5) with it.
const std::string kFrame = R"({"height":480,"width":640,"x":100,"y":50})";
const std::string kSample = R"({"bounds":)" + kFrame + R"(,"type":"pointer","x":5,"y":5})";

// A window at (100, 50) and a display at (1280, 0); the pointer at (5, 5).
struct Rig : FakeRig {
  explicit Rig(const char* kind = "window", std::uint32_t id = kWindow)
      : monitor(kNames, {kind, id}, services, wait, channel) {
    system.byId[kWindow] = normalWindow(kWindow, 42, {100, 50, 640, 480});
    system.displays[kDisplay] = {1280, 0, 1280, 800};
  }
  int end(const Outcome& outcome) { return outcome ? reportExit(channel, *outcome) : -1; }
  Monitor monitor;
};
using Change = void (*)(Rig&);

TEST(MonitorTest, StartEndsWithStatus2UnlessItCanListenAndMeasure) {
  const struct { Change change; const char* text; } cases[] = {
      {[](Rig& t) { t.system.canListen = false; }, texts::kMonitorNoPermission},
      {[](Rig& t) { t.system.canListen = false, t.system.grant = ListenGrant::inputGroup; },
       texts::kMonitorNeedsInputGroup},
      {[](Rig& t) { t.system.byId.clear(); }, texts::kMonitorCannotStart},
      {[](Rig& t) { t.system.listenWorks = false; }, texts::kMonitorCannotStart},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.monitor.run(), kStatusCannotStart) << c.text;
    EXPECT_EQ(t.out.lines(), Lines{errorLine(c.text)});
    EXPECT_EQ(t.wait.waits.size(), 0u);
  }
}

TEST(MonitorTest, SamplesClicksAndNamedShortcutsCarryWhatTheyShould) {
  Rig t;
  ASSERT_EQ(t.monitor.start(), std::nullopt);
  t.system.pointer = Point{-20.5, 3000};
  ASSERT_EQ(t.monitor.onTick(), std::nullopt);
  // Read afresh for each; a frame one pixel wide is a frame.
  t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({300, 200, -1, -50}));
  ASSERT_EQ(t.monitor.onButtonDown({1, 2}), std::nullopt);
  t.system.pointer.reset();  // an unreadable pointer skips the sample
  ASSERT_EQ(t.monitor.onTick(), std::nullopt);
  for (std::uint64_t held : {kFlagCommand, kFlagControl, kFlagOption}) {
    ASSERT_EQ(t.monitor.onKeyDown(25, held | kFlagShift), std::nullopt);
  }
  ASSERT_EQ(t.monitor.onKeyDown(0, kFlagShift), std::nullopt);
  EXPECT_EQ(t.out.lines(), (Lines{kReady, R"({"bounds":)" + kFrame + R"(,"type":"pointer","x":-20.5,"y":3000})",
                                  R"({"bounds":{"height":50,"width":1,"x":299,"y":150},"type":"click","x":1,"y":2})",
                                  R"({"label":"Cmd+Shift+9","type":"shortcut"})", R"({"type":"zoom"})",
                                  R"({"label":"Ctrl+Shift+9","type":"shortcut"})", R"({"type":"zoom"})",
                                  R"({"label":"Alt+Shift+9","type":"shortcut"})"}));
  Rig screen("screen", kDisplay);
  ASSERT_EQ(screen.monitor.start(), std::nullopt);
  ASSERT_EQ(screen.monitor.onButtonDown({10, 700}), std::nullopt);
  EXPECT_EQ(screen.out.lines().back(),
            R"({"bounds":{"height":800,"width":1280,"x":1280,"y":0},"type":"click","x":10,"y":700})");
}

TEST(MonitorTest, EndsAtTheNextSampleOrClickWhenTheFrameTheListeningOrTheParentIsLost) {
  using I = std::int64_t;
  const std::string lost = errorLine(texts::kMonitorFrameLost);
  const Dict nanWidth{{"X", I{0}}, {"Y", I{0}}, {"Width", std::nan("")}, {"Height", 5.0}};
  const struct { const char* what; std::uint32_t screen; std::function<void(Rig&)> change; bool click; int status;
                 std::string last; } cases[] = {
      {"window closed", 0, [](Rig& t) { t.system.byId.clear(); }, true, kStatusFrameLost, lost},
      {"no height", 0, [](Rig& t) { t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); },
       false, kStatusFrameLost, lost},
      {"NaN width", 0, [&](Rig& t) { t.system.byId[kWindow].set(WindowKey::Bounds, nanWidth); },
       false, kStatusFrameLost, lost},
      {"unknown display", 12345, [](Rig&) {}, false, kStatusFrameLost, lost},
      {"listening lost with the frame", 0, [](Rig& t) { t.system.unreadable = true, t.system.stillListening = false; },
       true, kStatusListeningStopped, errorLine(texts::kMonitorListeningStopped)},
      {"parent gone, before the frame", 0, [](Rig& t) { t.process.parent = 1, t.system.byId.clear(); },
       false, 0, kReady},
      {"unencodable sample", 0, [](Rig& t) { t.system.pointer = Point{std::nan(""), 1}; }, false, 1, kReady},
  };
  for (const auto& c : cases) {
    Rig t(c.screen ? "screen" : "window", c.screen ? c.screen : kWindow);
    ASSERT_EQ(t.monitor.start(), std::nullopt) << c.what;
    c.change(t);
    EXPECT_EQ(t.end(c.click ? t.monitor.onButtonDown({5, 5}) : t.monitor.onTick()), c.status) << c.what;
    EXPECT_EQ(t.out.lines().back(), c.last) << c.what;
  }
}

// The loop: `ready`, a sample at once and then one every interval, the presses
// that arrived handed over before the sample, and waiting on the backend's
// descriptors until the next sample is due.
TEST(MonitorTest, RunSamplesEveryIntervalAndHandsOverThePressesThatArrivedBeforeEachSample) {
  const std::string click = R"({"bounds":)" + kFrame + R"(,"type":"click","x":7,"y":8})";
  const Lines shortcut = {R"({"label":"Ctrl+Shift+9","type":"shortcut"})", R"({"type":"zoom"})"};
  const struct { const char* what; std::function<void(Rig&)> second; int status; Lines last; } cases[] = {
      {"parent gone", [](Rig& t) { t.process.parent = 1; }, 0, {}},
      {"listening switched off", [](Rig& t) { t.system.stillListening = false; }, kStatusListeningStopped,
       {errorLine(texts::kMonitorListeningStopped)}},
      {"a click on a closed window", [](Rig& t) { t.system.byId.clear(), t.system.presses = {buttonDown({7, 8})}; },
       kStatusFrameLost, {errorLine(texts::kMonitorFrameLost)}},
  };
  for (const auto& c : cases) {
    Rig t;
    t.wait.onWait = [&](int n) {
      if (n == 1) t.system.presses = {keyDown(25, kFlagControl | kFlagShift), keyDown(0, 0), buttonDown({7, 8})};
      if (n == 2) c.second(t);
    };
    EXPECT_EQ(t.monitor.run(), c.status) << c.what;
    Lines expected = {kReady, kSample, shortcut[0], shortcut[1], click, kSample};
    expected.insert(expected.end(), c.last.begin(), c.last.end());
    EXPECT_EQ(t.out.lines(), expected) << c.what;
    // 1/30 s from the start, then from the second sample to 2/30 s, in whole milliseconds rounded up.
    EXPECT_EQ(t.wait.waits, (std::vector<FakeWait::Wait>{{{7}, 34}, {{7}, 33}})) << c.what;
  }
}

}  // namespace
}  // namespace quorvane::input
