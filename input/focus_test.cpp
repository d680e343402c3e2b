#include "input/focus.h"

#include <gtest/gtest.h>

#include "input/answer.h"
#include "input/fake_automation.h"
#include "input/fake_platform.h"

namespace quorvane::input {
namespace {

constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;

struct FocusTest : ::testing::Test {
  FakeWindowServer windows;
  FakeProcess process;
  FakeApplications apps;
  FakeAccessibility ax;
  FakeClock clock;
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  FocusPlatform platform{windows, process, apps, ax, clock};

  const Rect frame{100, 50, 640, 480};
  const WindowDescription target = normalWindow(kTarget, kOwner, frame);
  const WindowDescription sibling = normalWindow(78, kOwner, {0, 0, 300, 300});

  void SetUp() override {
    windows = FakeWindowServer();
    process = FakeProcess();
    apps = FakeApplications();
    ax = FakeAccessibility();
    windows.byId = {{kTarget, target}};
    apps.runningPids = {kOwner};
    // By default the target is behind a sibling of its own application.
    windows.onScreen = WindowList{sibling, target};
    apps.frontmost = kOwner;
    ax.appWindows = std::vector<AccessibilityWindow>{{1, Point{0, 0}, Point{300, 300}},
                                                     {2, Point{100, 50}, Point{640, 480}}};
    ax.onRaise = [this](const AccessibilityWindow& w) {
      if (w.handle == 2) windows.onScreen = WindowList{target, sibling};
    };
  }

  int focus(const std::string& text = std::to_string(kTarget)) { return runFocusWindow(platform, text, channel); }
  std::string answerText() { return out.text(); }
};

const std::string kFocused = "{\"focused\":true}\n";
std::string errorLine(const std::string& text) { return "{\"error\":\"" + text + "\"}\n"; }
const std::string kF1 = errorLine("所选窗口已关闭、最小化或无效");

TEST_F(FocusTest, WindowAlreadyInFrontNeedsNoAccessibility) {
  windows.onScreen = WindowList{target, sibling};
  ax.isTrusted = false;
  EXPECT_EQ(focus(), 0);
  EXPECT_EQ(answerText(), kFocused);
  EXPECT_EQ(ax.calls, 0);
  EXPECT_EQ(apps.activated, std::vector<std::int32_t>{kOwner});
  EXPECT_DOUBLE_EQ(clock.slept, 0.3);
}

TEST_F(FocusTest, ActivationBringsItToTheFront) {
  apps.frontmost = 999;
  apps.onActivate = [this](std::int32_t pid) {
    apps.frontmost = pid;
    windows.onScreen = WindowList{target, sibling};
  };
  EXPECT_EQ(focus(), 0);
  EXPECT_EQ(answerText(), kFocused);
  EXPECT_EQ(ax.calls, 0);
}

TEST_F(FocusTest, RaisesTheOneMatchingAccessibilityWindow) {
  EXPECT_EQ(focus(), 0);
  EXPECT_EQ(answerText(), kFocused);
  EXPECT_EQ(ax.raised, std::vector<std::uint64_t>{2});
  EXPECT_EQ(apps.activated.size(), 1u);  // activated once, not again after the raise
  EXPECT_DOUBLE_EQ(clock.slept, 0.5);
}

TEST_F(FocusTest, RefusesWhatIsNotAnotherApplicationsWindowOnScreen) {
  EXPECT_EQ(focus("abc"), 1);
  EXPECT_EQ(answerText(), kF1);

  const struct {
    const char* what;
    std::function<void(FocusTest&)> change;
  } cases[] = {
      {"no such window", [](FocusTest& t) { t.windows.byId.clear(); }},
      {"minimised", [](FocusTest& t) { t.windows.byId[kTarget].set(WindowKey::IsOnscreen, false); }},
      {"the application's own", [](FocusTest& t) { t.process.parent = kOwner; }},
      {"no running application", [](FocusTest& t) { t.apps.runningPids.clear(); }},
  };
  for (const auto& c : cases) {
    SetUp();
    c.change(*this);
    out.writes.clear();
    apps.activated.clear();
    EXPECT_EQ(focus(), 1) << c.what;
    EXPECT_EQ(answerText(), kF1) << c.what;
    EXPECT_TRUE(apps.activated.empty()) << c.what;
  }
}

TEST_F(FocusTest, AccessibilityPathFailures) {
  const struct {
    const char* what;
    std::function<void(FocusTest&)> change;
    std::string answer;
  } cases[] = {
      {"not trusted", [](FocusTest& t) { t.ax.isTrusted = false; },
       errorLine("自动显示所选窗口需要辅助功能授权。请到系统设置 → 隐私与安全性 → 辅助功能允许 "
                 "Quorvane/输入辅助程序，或先手动显示目标窗口后重试。")},
      {"window list unreadable", [](FocusTest& t) { t.ax.appWindows = std::nullopt; }, errorLine("无法定位所选窗口")},
      {"no match", [](FocusTest& t) { t.ax.appWindows->pop_back(); },
       errorLine("无法唯一确认并显示所选窗口，请手动显示该窗口后重试")},
      {"two matches", [](FocusTest& t) { t.ax.appWindows->push_back({3, Point{101.9, 51}, Point{638.1, 480}}); },
       errorLine("无法唯一确认并显示所选窗口，请手动显示该窗口后重试")},
      {"raise refused", [](FocusTest& t) { t.ax.raiseWorks = false; },
       errorLine("无法唯一确认并显示所选窗口，请手动显示该窗口后重试")},
      {"still behind after the raise", [](FocusTest& t) { t.ax.onRaise = nullptr; },
       errorLine("所选窗口未能切换到前台，录制尚未开始")},
      {"another application in front", [](FocusTest& t) { t.apps.frontmost = 1; },
       errorLine("所选窗口未能切换到前台，录制尚未开始")},
  };
  for (const auto& c : cases) {
    SetUp();
    c.change(*this);
    out.writes.clear();
    EXPECT_EQ(focus(), 1) << c.what;
    EXPECT_EQ(answerText(), c.answer) << c.what;
  }
}

TEST_F(FocusTest, LosingTheFrontBetweenTheTwoChecksIsReported) {
  windows.onScreen = WindowList{target, sibling};
  windows.beforeList = [this](int call) {
    if (call == 2) windows.onScreen = WindowList{sibling, target};
  };
  ax.onRaise = nullptr;
  EXPECT_EQ(focus(), 1);
  EXPECT_EQ(answerText(), errorLine("所选窗口未能切换到前台，录制尚未开始"));
  EXPECT_EQ(ax.calls, 0);
}

TEST(FrameMatchTest, EveryMeasureWithinLessThanTwoPoints) {
  const Rect frame{100, 50, 640, 480};
  const struct {
    AccessibilityWindow w;
    bool match;
  } cases[] = {
      {{0, Point{100, 50}, Point{640, 480}}, true},
      {{0, Point{101.99, 48.01}, Point{641.99, 478.01}}, true},
      {{0, Point{102, 50}, Point{640, 480}}, false},
      {{0, Point{100, 48}, Point{640, 480}}, false},
      {{0, Point{100, 50}, Point{642, 480}}, false},
      {{0, Point{100, 50}, Point{640, 482}}, false},
      {{0, std::nullopt, Point{640, 480}}, false},
      {{0, Point{100, 50}, std::nullopt}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frameMatches(c.w, frame), c.match) << c.w.position.value_or(Point{}).x;
  }
}

}  // namespace
}  // namespace quorvane::input
