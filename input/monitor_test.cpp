#include "input/monitor.h"

#include <cmath>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {
namespace {

constexpr std::uint32_t kWindow = 77, kDisplay = 300;
const KeyNames kNames = buildNames();
const std::string kReady = R"({"type":"ready"})";

// A window at (100, 50) and a display at (1280, 0); the pointer at (5, 5).
struct Rig : FakeRig {
  explicit Rig(const char* kind = "window", std::uint32_t id = kWindow) : monitor(kNames, {kind, id}, services, channel) {
    system.byId[kWindow] = normalWindow(kWindow, 42, {100, 50, 640, 480});
    system.displays[kDisplay] = {1280, 0, 1280, 800};
  }
  int end(const Outcome& outcome) { return outcome ? reportExit(channel, *outcome) : -1; }
  Monitor monitor;
};
using Change = void (*)(Rig&);

TEST(MonitorTest, StartEndsWithStatus2UnlessItCanListenAndMeasure) {
  const struct { Change change; const char* text; } cases[] = {
      {[](Rig& t) { t.system.canListen = false; }, kNoPermissionText},
      {[](Rig& t) { t.system.byId.clear(); }, kCannotStartText},
      {[](Rig& t) { t.system.listenWorks = false; }, kCannotStartText},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.end(t.monitor.start()), kStatusCannotStart) << c.text;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{errorLine(c.text)});
    EXPECT_EQ(t.system.listenRequests, t.system.canListen ? 0 : 1);
  }
}

TEST(MonitorTest, SamplesClicksAndNamedShortcutsCarryWhatTheyShould) {
  Rig t;
  ASSERT_FALSE(t.monitor.start());
  t.system.pointer = Point{-20.5, 3000};
  ASSERT_FALSE(t.monitor.onTick());
  t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({300, 200, -1, -50}));  // read afresh; one pixel wide is a frame
  ASSERT_FALSE(t.monitor.onButtonDown({1, 2}));
  t.system.pointer.reset();  // an unreadable pointer skips the sample
  ASSERT_FALSE(t.monitor.onTick());
  for (auto [code, flags] : std::vector<std::pair<std::int64_t, std::uint64_t>>{
           {25, kFlagCommand | kFlagShift}, {25, kFlagControl | kFlagShift}, {25, kFlagOption | kFlagShift}, {0, kFlagShift}}) {
    ASSERT_FALSE(t.monitor.onKeyDown(code, flags));
  }
  EXPECT_EQ(t.out.lines(), (std::vector<std::string>{
      kReady, R"({"bounds":{"height":480,"width":640,"x":100,"y":50},"type":"pointer","x":-20.5,"y":3000})",
      R"({"bounds":{"height":50,"width":1,"x":299,"y":150},"type":"click","x":1,"y":2})",
      R"({"label":"Cmd+Shift+9","type":"shortcut"})", R"({"type":"zoom"})", R"({"label":"Ctrl+Shift+9","type":"shortcut"})",
      R"({"type":"zoom"})", R"({"label":"Alt+Shift+9","type":"shortcut"})"}));
  Rig screen("screen", kDisplay);
  ASSERT_FALSE(screen.monitor.start());
  ASSERT_FALSE(screen.monitor.onButtonDown({10, 700}));
  EXPECT_EQ(screen.out.lines().back(), R"({"bounds":{"height":800,"width":1280,"x":1280,"y":0},"type":"click","x":10,"y":700})");
}

TEST(MonitorTest, EndsAtTheNextSampleOrClickWhenTheFrameTheListeningOrTheParentIsLost) {
  using I = std::int64_t;
  const std::string lost = errorLine(kFrameLostText);
  const struct { const char* what; std::uint32_t screen; Change change; bool click; int status; std::string last; } cases[] = {
      {"window closed", 0, [](Rig& t) { t.system.byId.clear(); }, true, kStatusFrameLost, lost},
      {"no height", 0, [](Rig& t) { t.system.byId[kWindow].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }, false, kStatusFrameLost, lost},
      {"NaN width", 0, [](Rig& t) {
         t.system.byId[kWindow].set(WindowKey::Bounds, Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", std::nan("")}, {"Height", 5.0}});
       }, false, kStatusFrameLost, lost},
      {"unknown display", 12345, [](Rig&) {}, false, kStatusFrameLost, lost},
      {"listening lost with the frame", 0, [](Rig& t) { t.system.unreadable = true; t.system.stillListening = false; }, true,
       kStatusListeningStopped, errorLine(kListeningStoppedText)},
      {"parent gone, before the frame", 0, [](Rig& t) { t.process.parent = 1; t.system.byId.clear(); }, false, 0, kReady},
      {"unencodable sample", 0, [](Rig& t) { t.system.pointer = Point{std::nan(""), 1}; }, false, 1, kReady},
  };
  for (const auto& c : cases) {
    Rig t(c.screen ? "screen" : "window", c.screen ? c.screen : kWindow);
    ASSERT_FALSE(t.monitor.start()) << c.what;
    c.change(t);
    EXPECT_EQ(t.end(c.click ? t.monitor.onButtonDown({5, 5}) : t.monitor.onTick()), c.status) << c.what;
    EXPECT_EQ(t.out.lines().back(), c.last) << c.what;
  }
}

}  // namespace
}  // namespace quorvane::input
