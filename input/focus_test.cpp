#include "input/focus.h"

#include <functional>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {
namespace {

constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;
const Rect kFrame{100, 50, 640, 480};
const std::string kFocused = R"({"focused":true})";
std::string failed(const std::string& text) { return R"({"error":")" + text + R"("})"; }
const std::string kInvalid = failed("所选窗口已关闭、最小化或无效");
const std::string kNotUnique = failed("无法唯一确认并显示所选窗口，请手动显示该窗口后重试");
const std::string kNotInFront = failed("所选窗口未能切换到前台，录制尚未开始");

// The target behind a sibling of its own application, which is in front;
// raising accessibility window 2 (the target's frame) puts it in front.
struct Rig : FakeRig {
  const WindowDescription target = normalWindow(kTarget, kOwner, kFrame);
  const WindowDescription sibling = normalWindow(78, kOwner, {0, 0, 300, 300});
  Rig() {
    system.byId = {{kTarget, target}};
    system.runningPids = {kOwner};
    system.onScreen = WindowList{sibling, target};
    system.frontmost = kOwner;
    system.appWindows = std::vector<AccessibilityWindow>{{1, Point{0, 0}, Point{300, 300}}, {2, Point{100, 50}, Point{640, 480}}};
    system.onRaise = [this](const AccessibilityWindow& w) {
      if (w.handle == 2) system.onScreen = WindowList{target, sibling};
    };
  }
  int focus(const std::string& text = std::to_string(kTarget)) { return runFocusWindow(services, text, channel); }
};

using Change = std::function<void(Rig&)>;

TEST(FocusTest, AnswersFocusedOnceTheTargetIsTheFrontApplicationsFrontWindow) {
  const struct {
    const char* what;
    Change change;
    std::vector<std::uint64_t> raised;
    double slept;
  } cases[] = {
      {"already in front", [](Rig& t) { t.system.onScreen = WindowList{t.target, t.sibling}; t.system.trusted = false; }, {}, 0.3},
      {"activation brings it", [](Rig& t) {
         t.system.frontmost = 999;
         t.system.onActivate = [&t](std::int32_t pid) { t.system.frontmost = pid; t.system.onScreen = WindowList{t.target, t.sibling}; };
       }, {}, 0.3},
      {"raised: the one window with its frame", [](Rig&) {}, {2}, 0.5},
      {"raised: a frame within 2 points", [](Rig& t) { (*t.system.appWindows)[1] = {2, Point{101.99, 48.01}, Point{641.99, 478.01}}; }, {2}, 0.5},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.focus(), 0) << c.what;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{kFocused}) << c.what;
    EXPECT_EQ(t.system.raised, c.raised) << c.what;
    EXPECT_EQ(t.system.activated, std::vector<std::int32_t>{kOwner}) << c.what;
    EXPECT_DOUBLE_EQ(t.clock.slept, c.slept) << c.what;
    EXPECT_EQ(t.system.accessibilityCalls == 0, c.raised.empty()) << c.what;
  }
}

TEST(FocusTest, FailuresAnswerTheirText) {
  const struct {
    const char* what;
    Change change;
    std::string answer;
    bool activated;
  } cases[] = {
      {"not a number", [](Rig&) {}, kInvalid, false},
      {"no such window", [](Rig& t) { t.system.byId.clear(); }, kInvalid, false},
      {"minimised", [](Rig& t) { t.system.byId[kTarget].set(WindowKey::IsOnscreen, false); }, kInvalid, false},
      {"the application's own", [](Rig& t) { t.process.parent = kOwner; }, kInvalid, false},
      {"no running application", [](Rig& t) { t.system.runningPids.clear(); }, kInvalid, false},
      {"not trusted", [](Rig& t) { t.system.trusted = false; },
       failed("自动显示所选窗口需要辅助功能授权。请到系统设置 → 隐私与安全性 → 辅助功能允许 Quorvane/输入辅助程序，"
              "或先手动显示目标窗口后重试。"), true},
      {"window list unreadable", [](Rig& t) { t.system.appWindows.reset(); }, failed("无法定位所选窗口"), true},
      {"no match", [](Rig& t) { t.system.appWindows->pop_back(); }, kNotUnique, true},
      {"a frame 2 points off", [](Rig& t) { (*t.system.appWindows)[1].position = Point{102, 50}; }, kNotUnique, true},
      {"a size 2 points off", [](Rig& t) { (*t.system.appWindows)[1].size = Point{640, 482}; }, kNotUnique, true},
      {"no size", [](Rig& t) { (*t.system.appWindows)[1].size.reset(); }, kNotUnique, true},
      {"two matches", [](Rig& t) { t.system.appWindows->push_back({3, Point{101.9, 51}, Point{638.1, 480}}); }, kNotUnique, true},
      {"raise refused", [](Rig& t) { t.system.raiseWorks = false; }, kNotUnique, true},
      {"still behind after the raise", [](Rig& t) { t.system.onRaise = nullptr; }, kNotInFront, true},
      {"another application in front", [](Rig& t) { t.system.frontmost = 1; }, kNotInFront, true},
      {"lost the front between the checks", [](Rig& t) {
         t.system.onScreen = WindowList{t.target, t.sibling};
         t.system.beforeList = [&t](int call) { if (call == 2) t.system.onScreen = WindowList{t.sibling, t.target}; };
       }, kNotInFront, true},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(t.focus(std::string(c.what) == "not a number" ? "abc" : std::to_string(kTarget)), 1) << c.what;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{c.answer}) << c.what;
    EXPECT_EQ(t.system.activated.size(), c.activated ? 1u : 0u) << c.what;
  }
}

}  // namespace
}  // namespace quorvane::input
