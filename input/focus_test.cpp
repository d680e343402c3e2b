#include "input/focus.h"

#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {
namespace {

constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;
std::string failed(const std::string& text) { return R"({"error":")" + text + R"("})"; }

// The target behind a sibling of its own application, which is in front;
// raising accessibility window 2 (the target's frame) puts it in front.
struct Rig : FakeRig {
  const WindowDescription target = normalWindow(kTarget, kOwner, {100, 50, 640, 480});
  const WindowDescription sibling = normalWindow(78, kOwner, {0, 0, 300, 300});
  std::string arg = std::to_string(kTarget);
  Rig() {
    system.byId = {{kTarget, target}};
    system.runningPids = {kOwner};
    system.onScreen = WindowList{sibling, target};
    system.frontmost = kOwner;
    system.appWindows = std::vector<AccessibilityWindow>{{1, Point{0, 0}, Point{300, 300}},
                                                         {2, Point{100, 50}, Point{640, 480}}};
    system.onRaise = [this](const AccessibilityWindow& w) {
      if (w.handle == 2) system.onScreen = WindowList{target, sibling};
    };
  }
};

TEST(FocusTest, FocusedOnlyOnceTheTargetIsTheFrontApplicationsFrontWindow) {
  const std::string focused = R"({"focused":true})", invalid = failed("所选窗口已关闭、最小化或无效");
  const std::string notUnique = failed("无法唯一确认并显示所选窗口，请手动显示该窗口后重试");
  const std::string notInFront = failed("所选窗口未能切换到前台，录制尚未开始");
  const std::string untrusted = failed(
      "自动显示所选窗口需要辅助功能授权。"
      "请到系统设置 → 隐私与安全性 → 辅助功能允许 Quorvane/输入辅助程序，"
      "或先手动显示目标窗口后重试。");
  using Raised = std::vector<std::uint64_t>;
  const struct { const char* what; void (*change)(Rig&); std::string answer; bool activated; Raised raised; }
  cases[] = {
      {"in front once activated", [](Rig& t) {
         t.system.frontmost = 999;
         t.system.trusted = false;  // never asked for
         t.system.onActivate = [&t](std::int32_t pid) {
           t.system.frontmost = pid;
           t.system.onScreen = WindowList{t.target};
         };
       }, focused, true, {}},
      {"raised: the one window with its frame", [](Rig&) {}, focused, true, {2}},
      {"raised: a frame within 2 points", [](Rig& t) {
         (*t.system.appWindows)[1] = {2, Point{101.99, 48.01}, Point{641.99, 478.01}};
       }, focused, true, {2}},
      {"not a number", [](Rig& t) { t.arg = "abc"; }, invalid, false, {}},
      {"no such window", [](Rig& t) { t.system.byId.clear(); }, invalid, false, {}},
      {"the application's own", [](Rig& t) { t.process.parent = kOwner; }, invalid, false, {}},
      {"no running application", [](Rig& t) { t.system.runningPids.clear(); }, invalid, false, {}},
      {"not trusted", [](Rig& t) { t.system.trusted = false; }, untrusted, true, {}},
      {"window list unreadable", [](Rig& t) { t.system.appWindows.reset(); }, failed("无法定位所选窗口"), true,
       {}},
      {"no match", [](Rig& t) { t.system.appWindows->pop_back(); }, notUnique, true, {}},
      {"a frame 2 points off", [](Rig& t) { (*t.system.appWindows)[1].position = Point{102, 50}; }, notUnique, true,
       {}},
      {"a size 2 points off", [](Rig& t) { (*t.system.appWindows)[1].size = Point{640, 482}; }, notUnique, true, {}},
      {"no size", [](Rig& t) { (*t.system.appWindows)[1].size.reset(); }, notUnique, true, {}},
      {"two matches", [](Rig& t) {
         t.system.appWindows->push_back({3, Point{101.9, 51}, Point{638.1, 480}});
       }, notUnique, true, {}},
      {"raise refused", [](Rig& t) { t.system.raiseWorks = false; }, notUnique, true, {2}},
      {"still behind after the raise", [](Rig& t) { t.system.onRaise = nullptr; }, notInFront, true, {2}},
      {"another application in front", [](Rig& t) { t.system.frontmost = 1; }, notInFront, true, {2}},
      {"lost the front between the checks", [](Rig& t) {
         t.system.onScreen = WindowList{t.target, t.sibling};
         t.system.beforeList = [&t](int call) {
           if (call == 2) t.system.onScreen = WindowList{t.sibling, t.target};
         };
       }, notInFront, true, {}},
  };
  for (const auto& c : cases) {
    Rig t;
    c.change(t);
    EXPECT_EQ(runFocusWindow(t.services, t.arg, t.channel), c.answer == focused ? 0 : 1) << c.what;
    EXPECT_EQ(t.out.lines(), std::vector<std::string>{c.answer}) << c.what;
    EXPECT_EQ(t.system.activated, c.activated ? std::vector<std::int32_t>{kOwner} : std::vector<std::int32_t>{})
        << c.what;
    EXPECT_EQ(t.system.raised, c.raised) << c.what;
    if (c.answer == focused) {
      EXPECT_DOUBLE_EQ(t.clock.slept, c.raised.empty() ? 0.3 : 0.5) << c.what;
    }
  }
}

}  // namespace
}  // namespace quorvane::input
