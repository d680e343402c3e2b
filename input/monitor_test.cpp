#include "input/monitor.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "common/clock.h"
#include "input/answer.h"
#include "input/fake_monitor.h"
#include "input/fake_platform.h"

namespace quorvane::input {
namespace {

constexpr std::uint64_t kCapsLock = 0x10000;
constexpr std::uint64_t kCmdShift = kFlagCommand | kFlagShift;
constexpr std::int64_t kKey9 = 25;
constexpr std::int64_t kKeyA = 0;
constexpr std::uint32_t kWindow = 77;
constexpr std::uint32_t kDisplay = 300;

struct Rig {
  FakeWindowServer windows;
  FakeMonitorPlatform platform;
  FakePermissions permissions;
  FakeProcess process;
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  KeyNames names = buildNames();

  Rig() {
    windows.byId[kWindow] = normalWindow(kWindow, 42, {100, 50, 640, 480});
    platform.displays[kDisplay] = {1280, 0, 1280, 800};
  }

  Monitor monitor(const char* kind, std::uint32_t id) {
    return Monitor(names, InputSource{kind, id}, {windows, platform, permissions, process, channel});
  }

  std::vector<Json> messages() const {
    std::vector<Json> result;
    for (const auto& line : out.lines()) result.push_back(Json::parse(line));
    return result;
  }
  std::vector<std::string> types() const {
    std::vector<std::string> result;
    for (const auto& m : messages()) result.push_back(m.value("type", "?"));
    return result;
  }
  // Writes what main writes when a Step ends, and gives the status.
  int finish(const Step& step) {
    EXPECT_FALSE(step.carryOn);
    return conclude(channel, step);
  }
};

struct MonitorTest : ::testing::Test, Rig {};

Json errorJson(const char* text) { return Json{{"type", "error"}, {"error", text}}; }

TEST_F(MonitorTest, StartEndsBeforeReadyWhenItCannotListenOrMeasure) {
  using I = std::int64_t;
  const struct {
    const char* what;
    const char* kind;
    std::uint32_t id;
    std::function<void(Rig&)> setup;
    const char* text;
    int listenRequests;
    int startCalls;
  } cases[] = {
      {"no permission", "window", kWindow, [](Rig& t) { t.permissions.listen = false; }, kNoPermissionText, 1, 0},
      {"no permission, screen", "screen", kDisplay, [](Rig& t) { t.permissions.listen = false; },
       kNoPermissionText, 1, 0},
      {"window names nothing", "window", 4294967295u, [](Rig&) {}, kCannotStartText, 0, 0},
      {"window server unreadable", "window", kWindow, [](Rig& t) { t.windows.unreadable = true; },
       kCannotStartText, 0, 0},
      {"window without a frame", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow] = WindowDescription().set(WindowKey::Number, I{kWindow}); },
       kCannotStartText, 0, 0},
      {"frame of the wrong type", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow].set(WindowKey::Bounds, std::string("0,0,10,10")); },
       kCannotStartText, 0, 0},
      {"listening refused", "window", kWindow, [](Rig& t) { t.platform.canListen = false; },
       kCannotStartText, 0, 1},
      {"listening refused, screen", "screen", kDisplay, [](Rig& t) { t.platform.canListen = false; },
       kCannotStartText, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig t;
    c.setup(t);
    Step step = t.monitor(c.kind, c.id).start();
    EXPECT_EQ(t.finish(step), kStatusCannotStart);
    ASSERT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.messages()[0], errorJson(c.text));
    EXPECT_EQ(t.permissions.listenRequests, c.listenRequests);
    EXPECT_EQ(t.platform.startCalls, c.startCalls);
  }
}

TEST_F(MonitorTest, StartSendsReadyForAnyMeasurableSource) {
  const struct {
    const char* what;
    const char* kind;
    std::uint32_t id;
    std::function<void(Rig&)> setup;
  } cases[] = {
      {"window on screen", "window", kWindow, [](Rig&) {}},
      {"window off screen is still measured", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow].set(WindowKey::IsOnscreen, false); }},
      {"window with an empty frame passes the start", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow].set(WindowKey::Bounds, boundsDict({5, 5, 0, 0})); }},
      {"known display", "screen", kDisplay, [](Rig&) {}},
      {"unknown display passes the start", "screen", 9, [](Rig&) {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig t;
    c.setup(t);
    Step step = t.monitor(c.kind, c.id).start();
    EXPECT_TRUE(step.carryOn);
    EXPECT_EQ(t.out.text(), "{\"type\":\"ready\"}\n");
    EXPECT_EQ(t.platform.startCalls, 1);
  }
}

TEST_F(MonitorTest, SamplesCarryTheRecordedFrameAndGlobalLocation) {
  const struct {
    const char* what;
    const char* kind;
    std::uint32_t id;
    Point pointer;
    const char* expected;
  } cases[] = {
      {"display", "screen", kDisplay, {1500, 300},
       R"({"bounds":{"height":800,"width":1280,"x":1280,"y":0},"type":"pointer","x":1500,"y":300})"},
      {"pointer outside the window", "window", kWindow, {-20.5, 3000},
       R"({"bounds":{"height":480,"width":640,"x":100,"y":50},"type":"pointer","x":-20.5,"y":3000})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig t;
    t.platform.pointer = c.pointer;
    Monitor m = t.monitor(c.kind, c.id);
    ASSERT_TRUE(m.start().carryOn);
    EXPECT_TRUE(m.onTick().carryOn);
    ASSERT_EQ(t.out.lines().size(), 2u);
    EXPECT_EQ(t.out.lines()[1], c.expected);
  }
}

TEST_F(MonitorTest, FrameIsReadAfreshAndFollowsTheWindow) {
  Monitor m = monitor("window", kWindow);
  ASSERT_TRUE(m.start().carryOn);
  ASSERT_TRUE(m.onTick().carryOn);
  windows.byId[kWindow].set(WindowKey::Bounds, boundsDict({300, 200, 640, 480}));
  ASSERT_TRUE(m.onTick().carryOn);
  // A frame stored with a negative size is reported in standard form.
  windows.byId[kWindow].set(WindowKey::Bounds, boundsDict({300, 200, -100, -50}));
  ASSERT_TRUE(m.onButtonDown({1, 2}).carryOn);
  auto all = messages();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[1]["bounds"]["x"], 100);
  EXPECT_EQ(all[2]["bounds"]["x"], 300);
  EXPECT_EQ(all[3]["bounds"], Json::parse(R"({"height":50,"width":100,"x":200,"y":150})"));
  EXPECT_EQ(all[3]["type"], "click");
}

TEST_F(MonitorTest, LosingTheFrameEndsAtTheNextSampleOrClick) {
  using I = std::int64_t;
  const struct {
    const char* what;
    const char* kind;
    std::uint32_t id;
    std::function<void(Rig&)> change;
    bool click;
    int status;
    const char* text;
  } cases[] = {
      {"window closed, sample", "window", kWindow, [](Rig& t) { t.windows.byId.clear(); }, false,
       kStatusFrameLost, kFrameLostText},
      {"window closed, click", "window", kWindow, [](Rig& t) { t.windows.byId.clear(); }, true,
       kStatusFrameLost, kFrameLostText},
      {"window server unreadable", "window", kWindow, [](Rig& t) { t.windows.unreadable = true; }, false,
       kStatusFrameLost, kFrameLostText},
      {"frame with no width", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow].set(WindowKey::Bounds, boundsDict({0, 0, 0, 10})); }, true,
       kStatusFrameLost, kFrameLostText},
      {"frame with no height", "window", kWindow,
       [](Rig& t) { t.windows.byId[kWindow].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }, false,
       kStatusFrameLost, kFrameLostText},
      {"frame with NaN size", "window", kWindow,
       [](Rig& t) {
         t.windows.byId[kWindow].set(WindowKey::Bounds,
                                     Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", std::nan("")}, {"Height", 5.0}});
       },
       false, kStatusFrameLost, kFrameLostText},
      {"display unplugged", "screen", kDisplay, [](Rig& t) { t.platform.displays.clear(); }, false,
       kStatusFrameLost, kFrameLostText},
      {"listening lost with the frame", "window", kWindow,
       [](Rig& t) {
         t.windows.unreadable = true;
         t.platform.alive = false;
       },
       false, kStatusListeningStopped, kListeningStoppedText},
      {"listening lost, display unreadable", "screen", kDisplay,
       [](Rig& t) {
         t.platform.displays.clear();
         t.platform.alive = false;
       },
       true, kStatusListeningStopped, kListeningStoppedText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig t;
    Monitor m = t.monitor(c.kind, c.id);
    ASSERT_TRUE(m.start().carryOn);
    ASSERT_TRUE(m.onTick().carryOn);
    c.change(t);
    Step step = c.click ? m.onButtonDown({5, 5}) : m.onTick();
    EXPECT_EQ(t.finish(step), c.status);
    auto all = t.messages();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2], errorJson(c.text));
  }
}

TEST_F(MonitorTest, UnknownDisplayEndsAtTheFirstSample) {
  Monitor m = monitor("screen", 12345);
  ASSERT_TRUE(m.start().carryOn);
  EXPECT_EQ(finish(m.onTick()), kStatusFrameLost);
  EXPECT_EQ(types(), (std::vector<std::string>{"ready", "error"}));
}

TEST_F(MonitorTest, ParentChangeEndsSilently) {
  // Adopted by pid 1, or by a subreaper that is not pid 1: either way the application is gone.
  for (std::int32_t adopter : {1, 4321}) {
    SCOPED_TRACE(adopter);
    Rig t;
    Monitor m = t.monitor("window", kWindow);
    ASSERT_TRUE(m.start().carryOn);
    ASSERT_TRUE(m.onTick().carryOn);
    t.process.parent = adopter;
    // The frame is gone too: the parent watch comes first and nothing more is written.
    t.windows.byId.clear();
    Step step = m.onTick();
    EXPECT_EQ(t.finish(step), 0);
    EXPECT_EQ(t.types(), (std::vector<std::string>{"ready", "pointer"}));
  }
}

TEST_F(MonitorTest, UnreadablePointerSkipsTheSample) {
  Monitor m = monitor("window", kWindow);
  ASSERT_TRUE(m.start().carryOn);
  platform.pointer.reset();
  EXPECT_TRUE(m.onTick().carryOn);
  platform.pointer = Point{7, 8};
  EXPECT_TRUE(m.onTick().carryOn);
  EXPECT_EQ(types(), (std::vector<std::string>{"ready", "pointer"}));
}

TEST_F(MonitorTest, OnlyNamedShortcutsLeaveAndZoomFollowsItsTwoLabels) {
  const struct {
    std::int64_t code;
    std::uint64_t flags;
    std::vector<std::string> lines;
  } cases[] = {
      {kKey9, kCmdShift, {R"({"label":"Cmd+Shift+9","type":"shortcut"})", R"({"type":"zoom"})"}},
      {kKey9, kFlagControl | kFlagShift, {R"({"label":"Ctrl+Shift+9","type":"shortcut"})", R"({"type":"zoom"})"}},
      {kKey9, kFlagOption | kFlagShift, {R"({"label":"Alt+Shift+9","type":"shortcut"})"}},
      {kKey9, kFlagCommand | kFlagControl | kFlagShift, {R"({"label":"Cmd+Ctrl+Shift+9","type":"shortcut"})"}},
      {kKeyA, 0, {}},
      {kKeyA, kFlagShift, {}},
      {kKey9, kFlagShift, {}},
      {10, kFlagCommand, {}},
      {9999, kCmdShift, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SCOPED_TRACE(c.flags);
    Rig t;
    Monitor m = t.monitor("window", kWindow);
    ASSERT_TRUE(m.start().carryOn);
    t.out.writes.clear();
    EXPECT_TRUE(m.onKeyDown(c.code, c.flags).carryOn);
    EXPECT_EQ(t.out.lines(), c.lines);
  }
}

TEST_F(MonitorTest, PlainTypingNeverLeavesTheProcess) {
  Monitor m = monitor("window", kWindow);
  ASSERT_TRUE(m.start().carryOn);
  out.writes.clear();
  // Every key code with every combination of the bits that are not Command, Control or Option.
  const std::uint64_t harmless[] = {0, kFlagShift, kCapsLock, kFlagShift | kCapsLock, 0x800000 /* fn */,
                                    0x200000 /* keypad */, 0xFFFF /* device bits */,
                                    ~(kFlagCommand | kFlagControl | kFlagOption)};
  for (std::int64_t code = -2; code < 300; ++code) {
    for (std::uint64_t flags : harmless) EXPECT_TRUE(m.onKeyDown(code, flags).carryOn);
  }
  EXPECT_TRUE(out.writes.empty());
}

TEST_F(MonitorTest, ClicksAreGlobalAndCarryTheFrame) {
  Monitor m = monitor("screen", kDisplay);
  ASSERT_TRUE(m.start().carryOn);
  EXPECT_TRUE(m.onButtonDown({10, 700}).carryOn);
  EXPECT_EQ(out.lines().back(),
            R"({"bounds":{"height":800,"width":1280,"x":1280,"y":0},"type":"click","x":10,"y":700})");
}

TEST_F(MonitorTest, EventsInterleaveInTheOrderTheyHappen) {
  Monitor m = monitor("window", kWindow);
  ASSERT_TRUE(m.start().carryOn);
  ASSERT_TRUE(m.onTick().carryOn);
  ASSERT_TRUE(m.onKeyDown(kKeyA, 0).carryOn);
  ASSERT_TRUE(m.onKeyDown(kKey9, kCmdShift).carryOn);
  ASSERT_TRUE(m.onKeyDown(kKey9, kCmdShift).carryOn);  // a held key repeats
  ASSERT_TRUE(m.onButtonDown({1, 1}).carryOn);
  ASSERT_TRUE(m.onTick().carryOn);
  EXPECT_EQ(finish(m.onListeningStopped()), kStatusListeningStopped);
  EXPECT_EQ(types(), (std::vector<std::string>{"ready", "pointer", "shortcut", "zoom", "shortcut", "zoom", "click",
                                               "pointer", "error"}));
  EXPECT_EQ(messages().back(), errorJson(kListeningStoppedText));
}

TEST_F(MonitorTest, UnencodableSampleEndsWithStatusOne) {
  Monitor m = monitor("window", kWindow);
  ASSERT_TRUE(m.start().carryOn);
  platform.pointer = Point{std::nan(""), 1};
  Step step = m.onTick();
  EXPECT_FALSE(step.carryOn);
  EXPECT_EQ(conclude(channel, step), 1);
  EXPECT_EQ(out.lines().size(), 1u);
  EXPECT_EQ(err.text().rfind("Cannot encode input event: ", 0), 0u) << err.text();
}

TEST(ConcludeTest, WritesTheFinalMessageOnlyWhenThereIsOne) {
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  EXPECT_EQ(conclude(channel, Step::end(0)), 0);
  EXPECT_TRUE(out.writes.empty());
  EXPECT_EQ(conclude(channel, Step::end(3, errorMessage(kListeningStoppedText))), 3);
  EXPECT_EQ(out.writes.size(), 2u);
}

// Counts firings as a loop would see them when it wakes whenever asked to.
int firingsWithin(TickSchedule& ticks, FakeClock& clock, double seconds) {
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
}

TEST(TickScheduleTest, FiresAtStartThenThirtyTimesASecond) {
  FakeClock clock;
  TickSchedule ticks(clock.now(), kSampleInterval);
  EXPECT_TRUE(ticks.due(clock.now()));
  int fired = firingsWithin(ticks, clock, 10.0);
  EXPECT_GE(fired, 299);
  EXPECT_LE(fired, 301);
}

TEST(TickScheduleTest, MissedFiringsCollapseIntoOne) {
  FakeClock clock;
  TickSchedule ticks(clock.now(), kSampleInterval);
  ticks.fired(clock.now());
  clock.sleep(0.5);  // the loop was stuck for fifteen intervals
  ASSERT_TRUE(ticks.due(clock.now()));
  ticks.fired(clock.now());
  EXPECT_FALSE(ticks.due(clock.now()));
  EXPECT_GT(ticks.millisUntilDue(clock.now()), 0);
  EXPECT_LE(ticks.millisUntilDue(clock.now()), 34);
  // And the rate afterwards is the usual one.
  int fired = firingsWithin(ticks, clock, 1.0);
  EXPECT_GE(fired, 29);
  EXPECT_LE(fired, 31);
}

}  // namespace
}  // namespace quorvane::input
