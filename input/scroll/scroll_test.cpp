#include "input/scroll/scroll.h"

#include <functional>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"
#include "input/scroll/scroll_rules.h"

namespace quorvane::input {
namespace {

constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;
const std::string kReady = R"({"type":"ready"})";
const std::string kStep = R"({"type":"step"})";
const std::string kStopped = errorLine("已停止：鼠标被移动、目标窗口被遮挡/移动/关闭或滚动请求无效");
const std::string kCovered = errorLine("所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试");
// A 400 x 400 window at (100, 200); the selection's centre is its middle.
const Rect kBounds{100, 200, 400, 400};
const Point kCentre{300, 400};

using Change = std::function<void(FakeRig&)>;

// The target alone on screen, its owner running and hit at the centre; the user's pointer at (1, 2).
struct Rig : FakeRig {
  Rig() {
    system.byId = {{kTarget, normalWindow(kTarget, kOwner, kBounds)}};
    system.onScreen = WindowList{normalWindow(kTarget, kOwner, kBounds)};
    system.runningPids = {kOwner};
    system.hitPid = kOwner;
    system.pointer = Point{1, 2};
  }
  int scroll(std::vector<std::string> values = {"0.25", "0.25", "0.5", "0.5"}) {
    std::vector<std::string> args{"quorvane-input", "--scroll", std::to_string(kTarget)};
    args.insert(args.end(), values.begin(), values.end());
    return runScroll(services, commands, args, channel);
  }
  bool pointerPutBack() const { return system.moves.size() == 2 && system.moves[1] == Point{1, 2}; }
};

TEST(ScrollTest, RefusesBadRequestsBeforeLookingAtWindows) {
  const std::string bad = errorLine("无效的自动滚动参数"), outside = errorLine("自动滚动选区必须位于目标窗口内");
  const struct {
    std::vector<std::string> args;
    std::string answer;
  } cases[] = {
      {{"p", "--scroll", "77", "0", "0", "1"}, bad},        {{"p", "--scroll", "77", "0", "0", "1", "1", "1"}, bad},
      {{"p", "--scroll", "4294967296", "0", "0", "1", "1"}, bad}, {{"p", "--scroll", "77", "0", "0", "1", "1x"}, bad},
      {{"p", "--scroll", "77", "0", "0", "", "1"}, bad},     {{"p", "--scroll", "77", "nan", "0", "1", "1"}, outside},
      {{"p", "--scroll", "77", "0", "0", "inf", "1"}, outside}, {{"p", "--scroll", "77", "0.5", "0", "0.6", "1"}, outside},
      {{"p", "--scroll", "77", "0", "0", "0", "1"}, outside},
  };
  for (const auto& c : cases) {
    Rig t;
    EXPECT_EQ(runScroll(t.services, t.commands, c.args, t.channel), 0);
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{c.answer}) << c.args[2] << " " << c.args.size();
    EXPECT_EQ(t.system.lookupCalls, 0);
  }
}

TEST(ScrollTest, RefusesToStartUnlessTheSelectionIsTheTargetsInFront) {
  const std::string invalid = errorLine("目标窗口已关闭、最小化或无效");
  const struct {
    const char* what;
    Change change;
    std::string answer;
    double slept;
  } cases[] = {
      {"no such window", [](FakeRig& t) { t.system.byId.clear(); }, invalid, 0},
      {"off screen", [](FakeRig& t) { t.system.byId[kTarget].set(WindowKey::IsOnscreen, false); }, invalid, 0},
      {"no height", [](FakeRig& t) { t.system.byId[kTarget].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }, invalid, 0},
      {"our own window", [](FakeRig& t) { t.process.own = kOwner; }, invalid, 0},
      {"cannot post", [](FakeRig& t) { t.system.canPost = false; },
       errorLine("自动滚动需要系统设置 → 隐私与安全性 → 辅助功能授权 Quorvane/输入辅助程序，然后重启应用；不需要读取输入监控。"), 0},
      {"another process hit", [](FakeRig& t) { t.system.hitPid = 555; }, kCovered, 0.4},
      {"no hit", [](FakeRig& t) { t.system.hitPid.reset(); }, kCovered, 0.4},
      {"own sibling in front", [](FakeRig& t) {
         t.system.onScreen->insert(t.system.onScreen->begin(), normalWindow(78, kOwner, {0, 0, 800, 800}));
       }, kCovered, 0.4},
      {"list unreadable", [](FakeRig& t) { t.system.onScreen.reset(); }, kCovered, 0.4},
      {"pointer cannot move", [](FakeRig& t) { t.system.canMove = false; }, kCovered, 0.4},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.scroll(), 0) << c.what;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{c.answer}) << c.what;
    EXPECT_DOUBLE_EQ(t.clock.slept, c.slept) << c.what;
    EXPECT_EQ(t.system.postRequests, t.system.canPost ? 0 : 1) << c.what;
  }
}

TEST(ScrollTest, StepsTurnTheWheelOverTheSelectionCentreThenThePointerGoesBack) {
  Rig t;
  t.commands.lines = {"step", "step", "stop"};
  EXPECT_EQ(t.scroll({"0.75", "0.25", "-0.5", "0.5"}), 0);  // flipped: 0.25..0.75 across
  EXPECT_EQ(t.out.lines(), (std::vector<std::string>{kReady, kStep, kStep}));
  ASSERT_EQ(t.system.wheels.size(), 2u);
  EXPECT_EQ(t.system.wheels[1].at, kCentre);
  EXPECT_EQ(t.system.wheels[1].pixels, 90);  // 0.5 x 400 x 0.45
  EXPECT_EQ(t.system.wheels[1].target, kTarget);
  EXPECT_EQ(t.system.activated, std::vector<std::int32_t>{kOwner});
  EXPECT_EQ(t.system.moves.front(), kCentre);
  EXPECT_TRUE(t.pointerPutBack());
  EXPECT_EQ(t.commands.waits, (std::vector<int>{10000, 10000, 10000}));
}

TEST(ScrollTest, StepIsFortyFivePercentOfTheSelectionBoundedToOneTo500) {
  const struct {
    double selection, window;
    int pixels;
  } cases[] = {{0.5, 400, 90}, {0.001, 500, 1}, {1.0, 1200, 500}, {1.0, 1110, 499}, {0.1, 33, 1}};
  for (const auto& c : cases) EXPECT_EQ(stepAmount(c.selection, c.window), c.pixels) << c.selection << " " << c.window;
}

TEST(ScrollTest, AnyChangeBeforeAStepEndsTheRunWithItsText) {
  const struct {
    const char* what;
    Change change;
    std::string last;
    bool pointerBack;
  } cases[] = {
      {"moved half a point", [](FakeRig& t) { t.system.byId[kTarget].set(WindowKey::Bounds, boundsDict({100.5, 200, 400, 400})); }, kStopped, true},
      {"resized", [](FakeRig& t) { t.system.byId[kTarget].set(WindowKey::Bounds, boundsDict({100, 200, 400, 401})); }, kStopped, true},
      {"closed", [](FakeRig& t) { t.system.byId.clear(); }, kStopped, true},
      {"number reused by another process", [](FakeRig& t) { t.system.byId[kTarget] = normalWindow(kTarget, 444, kBounds); }, kStopped, true},
      {"covered", [](FakeRig& t) { t.system.hitPid = 555; }, kStopped, true},
      {"pointer 3 points away", [](FakeRig& t) { t.system.pointer = Point{kCentre.x + 3, kCentre.y}; }, kStopped, false},
      {"pointer unreadable", [](FakeRig& t) { t.system.pointer.reset(); }, kStopped, false},
      {"target changed under the wheel", [](FakeRig& t) { t.system.wheelResult = WheelResult::TargetChanged; }, kStopped, true},
      {"120 s after ready", [](FakeRig& t) { t.clock.time += 120; }, kStopped, true},
      {"an unknown line", [](FakeRig& t) { t.commands.lines = {"step\r"}; }, kStopped, true},
      {"no wheel event", [](FakeRig& t) { t.system.wheelResult = WheelResult::CannotCreate; }, errorLine("无法创建自动滚轮事件"), true},
  };
  for (const auto& c : cases) {
    Rig t;
    t.commands.lines = {"step", "step"};
    t.commands.beforeNext = [&](int n) {
      if (n == 2) c.change(t);
    };
    t.scroll();
    EXPECT_EQ(t.out.lines(), (std::vector<std::string>{kReady, kStep, c.last})) << c.what;
    EXPECT_EQ(t.system.wheels.size(), 1u) << c.what;
    EXPECT_EQ(t.pointerPutBack(), c.pointerBack) << c.what;
  }
}

TEST(ScrollTest, EndsQuietlyOnStopEndOfInputSilenceOrTheParentGone) {
  const struct {
    const char* what;
    std::deque<std::string> lines;
    Change change;
    std::size_t steps;
  } cases[] = {
      {"stop", {"step", "stop", "step"}, [](FakeRig&) {}, 1},
      {"end of input or silence", {"step"}, [](FakeRig&) {}, 1},
      {"parent gone", {"step", "step"}, [](FakeRig& t) { t.process.parent = 1; }, 1},
      {"pointer 2.99 away still steps", {"step", "step", "stop"},
       [](FakeRig& t) { t.system.pointer = Point{kCentre.x + 2.99, kCentre.y}; }, 2},
  };
  for (const auto& c : cases) {
    Rig t;
    t.commands.lines = c.lines;
    t.commands.beforeNext = [&](int n) {
      if (n == 2) c.change(t);
    };
    EXPECT_EQ(t.scroll(), 0) << c.what;
    std::vector<std::string> expected{kReady};
    expected.resize(c.steps + 1, kStep);
    EXPECT_EQ(t.out.lines(), expected) << c.what;
    EXPECT_TRUE(t.pointerPutBack()) << c.what;
  }
}

TEST(ScrollTest, TheHundredAndFirstStepIsRefused) {
  Rig t;
  t.commands.lines.assign(101, "step");
  t.scroll();
  auto written = t.out.lines();
  ASSERT_EQ(written.size(), 102u);
  EXPECT_EQ(written[100], kStep);
  EXPECT_EQ(written[101], kStopped);
}

TEST(ScrollTest, PointerStaysWhenItsStartCouldNotBeRead) {
  Rig t;
  t.system.pointer.reset();
  t.scroll();
  EXPECT_EQ(t.out.lines(), std::vector<std::string>{kReady});
  EXPECT_EQ(t.system.moves.size(), 1u);
}

TEST(ScrollRulesTest, SelectionMustBeAFiniteNonEmptyPartOfTheUnitSquare) {
  const struct {
    Rect selection;
    bool valid;
  } cases[] = {{{0, 0, 1, 1}, true},   {{1, 1, -1, -1}, true},  {{0.1, 0.1, 0.8, 0.8}, true}, {{0, 0, 0, 1}, false},
               {{0.5, 0, 1, 1}, false}, {{-0.1, 0, 0.5, 0.5}, false}, {{0, 0, 1, 1.01}, false},
               {{0, 0, std::nan(""), 1}, false}, {{0, 0, 1, INFINITY}, false}};
  for (const auto& c : cases) EXPECT_EQ(validScrollRect(c.selection), c.valid) << c.selection.x << " " << c.selection.width;
}

TEST(ScrollRulesTest, TopWindowOfTheHitProcessDecides) {
  auto window = [](std::int64_t number, std::int64_t pid, std::int64_t layer) {
    return normalWindow(number, pid, {0, 0, 100, 100}).set(WindowKey::Layer, layer);
  };
  WindowDescription transparent = window(2, 101, 3), outside = normalWindow(3, 101, {100, 0, 10, 10});
  transparent.set(WindowKey::Alpha, 0.0);
  const struct {
    std::optional<std::int32_t> pid;
    WindowList list;
    std::optional<std::uint32_t> top;
  } cases[] = {
      {101, {window(2, 202, 3), window(1, 101, 0)}, 1},   // other processes do not count
      {101, {transparent, window(1, 101, 0)}, 1},         // nor fully transparent windows
      {101, {window(2, 101, -1), window(1, 101, 0)}, 1},  // nor ones below the normal layer
      {101, {outside, window(1, 101, 0)}, 1},             // nor ones not under the point
      {101, {window(2, 101, 3), window(1, 101, 0)}, 2},   // a panel of the same process does
      {std::nullopt, {window(1, 101, 0)}, std::nullopt},
      {101, {window(-1, 101, 0), window(1, 101, 0)}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(topScrollWindow(c.pid, c.list, {50, 50}), c.top);
  EXPECT_EQ(scrollSelfTest().dump(),
            R"({"covered":false,"interactiveOverlay":true,"invalid":false,"missingHit":true,"noninteractiveOverlay":true,)"
            R"("outside":false,"sameAppOverlay":true,"transparent":true,"valid":true})");
}

}  // namespace
}  // namespace quorvane::input
