#include "input/scroll/scroll.h"

#include <gtest/gtest.h>

#include "input/fake_window_system.h"
#include "input/scroll/scroll_rules.h"

namespace quorvane::input {
namespace {

using Lines = std::vector<std::string>;
constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;
const std::string kReady = R"({"type":"ready"})";
const std::string kStopped = errorLine("已停止：鼠标被移动、目标窗口被遮挡/移动/关闭"
                                       "或滚动请求无效");
const std::string kCovered = errorLine("所选窗口未在前台或选区被遮挡，"
                                       "请先显示目标窗口后重试");
const std::string kInvalid = errorLine("目标窗口已关闭、最小化或无效");
// A 400 x 400 window at (100, 200); the selection, 0.25..0.75 both ways once flipped, is centred at kCentre.
const Rect kBounds{100, 200, 400, 400};
const Point kCentre{300, 400};
using Change = void (*)(FakeRig&);

// The target alone on screen, its owner running and hit at the centre; the user's pointer at (1, 2).
struct Rig : FakeRig {
  Rig() {
    system.byId = {{kTarget, normalWindow(kTarget, kOwner, kBounds)}};
    system.onScreen = WindowList{normalWindow(kTarget, kOwner, kBounds)};
    system.runningPids = {kOwner};
    system.hitPid = kOwner;
    system.pointer = Point{1, 2};
  }
  int scroll(std::vector<std::string> values) {
    if (values.empty()) values = {"77", "0.75", "0.25", "-0.5", "0.5"};
    values.insert(values.begin(), {"quorvane-input", "--scroll"});
    return runScroll(services, commands, values, channel);
  }
};

TEST(ScrollTest, RefusesToStartUnlessTheRequestIsValidAndTheSelectionTheTargetsInFront) {
  const std::string bad = errorLine("无效的自动滚动参数");
  const std::string cannotPost = errorLine(
      "自动滚动需要系统设置 → 隐私与安全性 → 辅助功能授权 Quorvane/输入辅助程序，"
      "然后重启应用；不需要读取输入监控。");
  using Args = std::vector<std::string>;
  const struct { const char* what; Args args; Change change; std::string answer; double slept; } cases[] = {
      {"five values", {"77", "0", "0", "1"}, nullptr, bad, 0},
      {"seven values", {"77", "0", "0", "1", "1", "1"}, nullptr, bad, 0},
      {"window number too large", {"4294967296", "0", "0", "1", "1"}, nullptr, bad, 0},
      {"not a number", {"77", "0", "0", "1", "1x"}, nullptr, bad, 0},
      {"outside the window", {"77", "0.5", "0", "0.6", "1"}, nullptr,
       errorLine("自动滚动选区必须位于目标窗口内"), 0},
      {"no such window", {}, [](FakeRig& t) { t.system.byId.clear(); }, kInvalid, 0},
      {"no height", {}, [](FakeRig& t) {
         t.system.byId[kTarget].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0}));
       }, kInvalid, 0},
      {"our own window", {}, [](FakeRig& t) { t.process.own = kOwner; }, kInvalid, 0},
      {"cannot post", {}, [](FakeRig& t) { t.system.canPost = false; }, cannotPost, 0},
      {"another process hit", {}, [](FakeRig& t) { t.system.hitPid = 555; }, kCovered, 0.4},
      {"no hit", {}, [](FakeRig& t) { t.system.hitPid.reset(); }, kCovered, 0.4},
      {"own sibling in front", {}, [](FakeRig& t) {
         t.system.onScreen->insert(t.system.onScreen->begin(), normalWindow(78, kOwner, {0, 0, 800, 800}));
       }, kCovered, 0.4},
      {"list unreadable", {}, [](FakeRig& t) { t.system.onScreen.reset(); }, kCovered, 0.4},
      {"pointer cannot move", {}, [](FakeRig& t) { t.system.canMove = false; }, kCovered, 0.4},
      {"pointer unreadable: starts, never put back", {}, [](FakeRig& t) { t.system.pointer.reset(); }, kReady, 0.4},
  };
  for (const auto& c : cases) {
    Rig t;
    if (c.change) c.change(t);
    else t.system.byId.clear();  // a bad request is refused before any window is looked at
    EXPECT_EQ(t.scroll(c.args), 0) << c.what;
    EXPECT_EQ(t.out.lines(), Lines{c.answer}) << c.what;
    EXPECT_DOUBLE_EQ(t.clock.slept, c.slept) << c.what;
    EXPECT_LE(t.system.moves.size(), 1u) << c.what;
  }
}

TEST(ScrollTest, EachStepChecksEverythingAgainAndTurnsTheWheelOverTheSelectionCentre) {
  using L = std::deque<std::string>;
  const struct { const char* what; L lines; Change change; std::size_t steps; std::string last; bool back; } cases[] = {
      {"stop", {"step", "stop", "step"}, nullptr, 1, "", true},
      {"end of input or silence", {"step"}, nullptr, 1, "", true},
      {"parent gone", {"step", "step"}, [](FakeRig& t) { t.process.parent = 1; }, 1, "", true},
      {"pointer 2.99 away still steps", {"step", "step", "stop"},
       [](FakeRig& t) { t.system.pointer = Point{kCentre.x + 2.99, kCentre.y}; }, 2, "", true},
      {"the 101st step", L(101, "step"), nullptr, 100, kStopped, true},
      {"moved half a point", {"step", "step"},
       [](FakeRig& t) { t.system.byId[kTarget].set(WindowKey::Bounds, boundsDict({100.5, 200, 400, 400})); }, 1,
       kStopped, true},
      {"closed", {"step", "step"}, [](FakeRig& t) { t.system.byId.clear(); }, 1, kStopped, true},
      {"number reused", {"step", "step"},
       [](FakeRig& t) { t.system.byId[kTarget] = normalWindow(kTarget, 444, kBounds); }, 1, kStopped, true},
      {"covered", {"step", "step"}, [](FakeRig& t) { t.system.hitPid = 555; }, 1, kStopped, true},
      {"pointer 3 points away", {"step", "step"},
       [](FakeRig& t) { t.system.pointer = Point{kCentre.x + 3, kCentre.y}; }, 1, kStopped, false},
      {"pointer unreadable", {"step", "step"}, [](FakeRig& t) { t.system.pointer.reset(); }, 1, kStopped, false},
      {"target changed under the wheel", {"step", "step"},
       [](FakeRig& t) { t.system.wheelResult = WheelResult::TargetChanged; }, 1, kStopped, true},
      {"120 s after ready", {"step", "step"}, [](FakeRig& t) { t.clock.time += 120; }, 1, kStopped, true},
      {"an unknown line", {"step", "step\r"}, nullptr, 1, kStopped, true},
      {"no wheel event", {"step", "step"}, [](FakeRig& t) { t.system.wheelResult = WheelResult::CannotCreate; }, 1,
       errorLine("无法创建自动滚轮事件"), true},
  };
  for (const auto& c : cases) {
    Rig t;
    t.commands.lines = c.lines;
    t.commands.beforeNext = [&](int n) {
      if (n == 2 && c.change) c.change(t);
    };
    EXPECT_EQ(t.scroll({}), 0) << c.what;
    Lines expected(c.steps + 1, R"({"type":"step"})");
    expected[0] = kReady;
    if (!c.last.empty()) expected.push_back(c.last);
    EXPECT_EQ(t.out.lines(), expected) << c.what;
    EXPECT_EQ(t.system.wheels, (std::vector<FakeWindowSystem::Wheel>(c.steps, {90, kTarget}))) << c.what;
    EXPECT_EQ(t.system.activated, std::vector<std::int32_t>{kOwner}) << c.what;
    // Parked on the centre, then back where the user had it unless they have moved it since.
    const std::vector<Point> moves = c.back ? std::vector<Point>{kCentre, {1, 2}} : std::vector<Point>{kCentre};
    EXPECT_EQ(t.system.moves, moves) << c.what;
    EXPECT_EQ(t.commands.waits, std::vector<int>(t.commands.waits.size(), 10000)) << c.what;
  }
}

TEST(ScrollTest, AParentGoneWhileTheRunStartsIsNoticedAtTheFirstCommand) {
  Rig t;
  t.commands.lines = {"step"};
  t.system.onActivate = [&t](std::int32_t) { t.process.parent = 1; };
  EXPECT_EQ(t.scroll({}), 0);
  EXPECT_EQ(t.out.lines(), Lines{kReady});
  EXPECT_EQ(t.system.wheels.size(), 0u);
}

TEST(ScrollRulesTest, WheelClicksNeverOvershoot) {
  for (auto [pixels, clicks] : {std::pair{1, 1}, {99, 1}, {199, 1}, {200, 2}, {500, 5}}) {
    EXPECT_EQ(wheelClicks(pixels), clicks) << pixels;
  }
}

TEST(ScrollRulesTest, StepSelectionAndTopWindowRules) {
  const struct { double selection, window; int pixels; } steps[] = {
      {0.001, 500, 1}, {1.0, 1200, 500}, {1.0, 1110, 499}, {0.1, 33, 1}};
  for (const auto& c : steps) EXPECT_EQ(stepAmount(c.selection, c.window), c.pixels) << c.selection << " " << c.window;
  const struct { Rect selection; bool valid; } selections[] = {
      {{0, 0, 1, 1}, true}, {{1, 1, -1, -1}, true}, {{0, 0, 0, 1}, false}, {{0.5, 0, 1, 1}, false},
      {{-0.1, 0, 0.5, 0.5}, false}, {{0, 0, 1, 1.01}, false}, {{0, 0, std::nan(""), 1}, false},
      {{0, 0, 1, INFINITY}, false}};
  for (const auto& c : selections) {
    EXPECT_EQ(validScrollRect(c.selection), c.valid) << c.selection.x << " " << c.selection.width;
  }

  auto window = [](std::int64_t number, std::int64_t pid, std::int64_t layer) {
    return normalWindow(number, pid, {0, 0, 100, 100}).set(WindowKey::Layer, layer);
  };
  const struct { WindowList list; std::optional<std::uint32_t> top; } tops[] = {  // process 101 hit at (50, 50)
      {{window(2, 101, 3).set(WindowKey::Alpha, 0.0), window(1, 101, 0)}, 1},  // fully transparent windows do not count
      {{window(2, 101, -1), window(1, 101, 0)}, 1},                          // nor ones below the normal layer
      {{normalWindow(3, 101, {100, 0, 10, 10}), window(1, 101, 0)}, 1},      // nor ones not under the point
      {{window(2, 101, 3), window(1, 101, 0)}, 2},                           // a panel of the same process does
      {{window(-1, 101, 0), window(1, 101, 0)}, std::nullopt},
  };
  for (const auto& c : tops) EXPECT_EQ(topScrollWindow(101, c.list, {50, 50}), c.top);
  EXPECT_EQ(scrollSelfTest().dump(),
            R"({"covered":false,"interactiveOverlay":true,"invalid":false,"missingHit":true,)"
            R"("noninteractiveOverlay":true,"outside":false,"sameAppOverlay":true,"transparent":true,"valid":true})");
}

}  // namespace
}  // namespace quorvane::input
