#include "input/monitor.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {
namespace {

constexpr std::uint64_t kCmdShift = kFlagCommand | kFlagShift;
constexpr std::int64_t kKey9 = 25;
constexpr std::uint32_t kWindow = 77;
constexpr std::uint32_t kDisplay = 300;
const KeyNames kNames = buildNames();

// A window at (100, 50) and a display at (1280, 0); the pointer at (5, 5).
struct Rig : FakeRig {
  explicit Rig(const char* kind = "window", std::uint32_t id = kWindow) : monitor(kNames, {kind, id}, services, channel) {
    system.byId[kWindow] = normalWindow(kWindow, 42, {100, 50, 640, 480});
    system.displays[kDisplay] = {1280, 0, 1280, 800};
  }
  std::vector<std::string> types() const {
    std::vector<std::string> result;
    for (const auto& line : out.lines()) result.push_back(Json::parse(line).value("type", "?"));
    return result;
  }
  int end(const Outcome& outcome) {
    EXPECT_TRUE(outcome.has_value());
    return outcome ? conclude(channel, *outcome) : -1;
  }
  Monitor monitor;
};

using Change = std::function<void(Rig&)>;

TEST(MonitorTest, StartEndsWithStatus2UnlessItCanListenAndMeasure) {
  const struct {
    const char* what;
    Change change;
    const char* text;
  } cases[] = {
      {"no permission", [](Rig& t) { t.system.canListen = false; }, kNoPermissionText},
      {"window names nothing", [](Rig& t) { t.system.byId.clear(); }, kCannotStartText},
      {"window system unreadable", [](Rig& t) { t.system.unreadable = true; }, kCannotStartText},
      {"frame of the wrong type", [](Rig& t) { t.system.byId[kWindow].set(WindowKey::Bounds, std::string("0,0,1,1")); }, kCannotStartText},
      {"listening refused", [](Rig& t) { t.system.listenWorks = false; }, kCannotStartText},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.end(t.monitor.start()), kStatusCannotStart) << c.what;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{errorLine(c.text)}) << c.what;
    EXPECT_EQ(t.system.listenRequests, t.system.canListen ? 0 : 1) << c.what;
  }
}

TEST(MonitorTest, SamplesAndClicksCarryTheFrameReadAfresh) {
  Rig t;
  ASSERT_FALSE(t.monitor.start());
  t.system.pointer = Point{-20.5, 3000};
  ASSERT_FALSE(t.monitor.onTick());
  t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({300, 200, -100, -50}));  // reported in standard form
  ASSERT_FALSE(t.monitor.onButtonDown({1, 2}));
  t.system.pointer.reset();  // an unreadable pointer skips the sample
  ASSERT_FALSE(t.monitor.onTick());
  EXPECT_EQ(t.out.lines(), (std::vector<std::string>{
      R"({"type":"ready"})",
      R"({"bounds":{"height":480,"width":640,"x":100,"y":50},"type":"pointer","x":-20.5,"y":3000})",
      R"({"bounds":{"height":50,"width":100,"x":200,"y":150},"type":"click","x":1,"y":2})"}));

  Rig screen("screen", kDisplay);
  ASSERT_FALSE(screen.monitor.start());
  ASSERT_FALSE(screen.monitor.onButtonDown({10, 700}));
  EXPECT_EQ(screen.out.lines().back(), R"({"bounds":{"height":800,"width":1280,"x":1280,"y":0},"type":"click","x":10,"y":700})");
}

TEST(MonitorTest, LosingTheFrameOrTheListeningEndsAtTheNextSampleOrClick) {
  using I = std::int64_t;
  const struct {
    const char* what;
    const char* kind;
    Change change;
    bool click;
    int status;
    const char* text;
  } cases[] = {
      {"window closed, click", "window", [](Rig& t) { t.system.byId.clear(); }, true, kStatusFrameLost, kFrameLostText},
      {"frame with no height", "window", [](Rig& t) { t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }, false, kStatusFrameLost, kFrameLostText},
      {"frame with NaN width", "window", [](Rig& t) {
         t.system.byId[kWindow].set(WindowKey::Bounds, Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", std::nan("")}, {"Height", 5.0}});
       }, false, kStatusFrameLost, kFrameLostText},
      {"unknown display", "screen-unknown", [](Rig&) {}, false, kStatusFrameLost, kFrameLostText},
      {"listening lost with the frame", "window", [](Rig& t) { t.system.unreadable = true; t.system.stillListening = false; }, true, kStatusListeningStopped, kListeningStoppedText},
  };
  for (const auto& c : cases) {
    const bool unknown = std::string(c.kind) == "screen-unknown";
    Rig t(unknown ? "screen" : c.kind, unknown ? 12345 : kWindow);
    ASSERT_FALSE(t.monitor.start()) << c.what;
    c.change(t);
    EXPECT_EQ(t.end(c.click ? t.monitor.onButtonDown({5, 5}) : t.monitor.onTick()), c.status) << c.what;
    EXPECT_EQ(t.out.lines().back(), errorLine(c.text)) << c.what;
  }
}

TEST(MonitorTest, ParentChangeEndsSilentlyBeforeAnythingElse) {
  for (std::int32_t adopter : {1, 4321}) {  // init, or a subreaper
    Rig t;
    ASSERT_FALSE(t.monitor.start());
    t.process.parent = adopter;
    t.system.byId.clear();
    EXPECT_EQ(t.end(t.monitor.onTick()), 0);
    EXPECT_EQ(t.types(), std::vector<std::string>{"ready"});
  }
}

TEST(MonitorTest, OnlyNamedShortcutsLeaveAndZoomFollowsItsTwoLabels) {
  Rig t;
  ASSERT_FALSE(t.monitor.start());
  for (auto [code, flags] : std::vector<std::pair<std::int64_t, std::uint64_t>>{
           {kKey9, kCmdShift}, {kKey9, kFlagControl | kFlagShift}, {kKey9, kFlagOption | kFlagShift},
           {kKey9, kFlagCommand | kFlagControl | kFlagShift}, {0, 0}, {0, kFlagShift}, {10, kFlagCommand}}) {
    ASSERT_FALSE(t.monitor.onKeyDown(code, flags));
  }
  EXPECT_EQ(t.out.lines(), (std::vector<std::string>{R"({"type":"ready"})", R"({"label":"Cmd+Shift+9","type":"shortcut"})",
                                                     R"({"type":"zoom"})", R"({"label":"Ctrl+Shift+9","type":"shortcut"})",
                                                     R"({"type":"zoom"})", R"({"label":"Alt+Shift+9","type":"shortcut"})",
                                                     R"({"label":"Cmd+Ctrl+Shift+9","type":"shortcut"})"}));
  EXPECT_EQ(t.end(t.monitor.onListeningStopped()), kStatusListeningStopped);
  EXPECT_EQ(t.out.lines().back(), errorLine(kListeningStoppedText));
}

TEST(MonitorTest, UnencodableSampleEndsWithStatusOne) {
  Rig t;
  ASSERT_FALSE(t.monitor.start());
  t.system.pointer = Point{std::nan(""), 1};
  EXPECT_EQ(t.end(t.monitor.onTick()), 1);
  EXPECT_EQ(t.out.lines().size(), 1u);
  EXPECT_EQ(t.err.text().rfind("Cannot encode input event: ", 0), 0u) << t.err.text();
}

TEST(TickScheduleTest, FiresThirtyTimesASecondAndMissedFiringsCollapseIntoOne) {
  FakeClock clock;
  TickSchedule ticks(clock.now(), kSampleInterval);
  auto firingsWithin = [&](double seconds) {
    const double end = clock.now() + seconds;
    int fired = 0;
    while (clock.now() < end) {
      if (ticks.due(clock.now())) {
        ticks.fired(clock.now());
        ++fired;
        continue;
      }
      int wait = ticks.millisUntilDue(clock.now());
      EXPECT_GT(wait, 0);  // never a busy wait
      clock.sleep(wait / 1000.0);
    }
    return fired;
  };
  EXPECT_TRUE(ticks.due(clock.now()));
  EXPECT_NEAR(firingsWithin(10.0), 300, 1);
  clock.sleep(0.5);  // the loop was stuck for fifteen intervals
  ASSERT_TRUE(ticks.due(clock.now()));
  ticks.fired(clock.now());
  EXPECT_FALSE(ticks.due(clock.now()));
  EXPECT_LE(ticks.millisUntilDue(clock.now()), 34);
  EXPECT_NEAR(firingsWithin(1.0), 30, 1);
}

}  // namespace
}  // namespace quorvane::input
