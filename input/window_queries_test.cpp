#include "input/window_queries.h"

#include <cmath>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {

// For a failure message (found by argument-dependent lookup).
void PrintTo(const WindowInfo& w, std::ostream* os) {
  *os << "{" << w.bounds.x << ", " << w.bounds.y << ", " << w.bounds.width << ", " << w.bounds.height << "} of "
      << w.ownerPid;
}

namespace {

using I = std::int64_t;
using K = WindowKey;
using Lines = std::vector<std::string>;
constexpr I kParent = 4242;  // FakeProcess's parent

TEST(QueriesTest, CapturableWindowsAreNormalVisibleNumberedFramedAndNotTheApplications) {
  const Dict noHeight{{"X", I{0}}, {"Y", I{0}}, {"Width", I{9}}};
  const Dict textHeight{{"X", I{0}}, {"Y", I{0}}, {"Width", I{9}}, {"Height", "9"}};
  const struct { WindowKey key; Value value; bool listed; } cases[] = {
      {K::Number, I{7}, true}, {K::Layer, I{3}, false}, {K::Layer, I{-1}, false}, {K::Layer, 0.0, false},
      {K::Alpha, 0.0, false}, {K::Alpha, std::nan(""), false}, {K::Alpha, 0.001, true}, {K::Alpha, I{0}, true},
      {K::OwnerPid, kParent, false}, {K::OwnerPid, kParent + (I{1} << 32), true},
      {K::OwnerPid, std::string("4242"), true}, {K::Number, I{-7}, false}, {K::Number, I{1} << 32, false},
      {K::Number, (I{1} << 32) - 1, true}, {K::Bounds, I{4}, false}, {K::Bounds, noHeight, false},
      {K::Bounds, textHeight, false}, {K::Bounds, boundsDict({0, 0, 0, 10}), false},
      {K::Bounds, boundsDict({0, 0, 10, 0}), false},
      {K::Bounds, boundsDict({50, 50, -20, -20}), true},  // a negative size is flipped
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WindowDescription d = normalWindow(7, 11, {0, 0, 100, 100}).set(cases[i].key, cases[i].value);
    EXPECT_EQ(capturableBounds(d, kParent, SizeTest::NonEmpty).has_value(), cases[i].listed) << i;
  }
}

TEST(QueriesTest, WindowInfoNeedsAReadableOnScreenWindowWithFrameAndOwner) {
  const struct { WindowKey key; Value value; bool found; } cases[] = {
      {K::IsOnscreen, false, false}, {K::IsOnscreen, I{1}, false}, {K::Bounds, I{4}, false},
      {K::OwnerPid, 11.0, false}, {K::OwnerPid, I{1} << 31, false}, {K::Number, I{9}, true},
  };
  const WindowInfo found{{1.5, 2, -3, 4}, kParent};  // the application's own window too
  FakeRig t;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    t.system.byId = {{9, normalWindow(9, kParent, found.bounds).set(cases[i].key, cases[i].value)}};
    EXPECT_EQ(scrollWindowInfo(t.system, 9), cases[i].found ? std::optional(found) : std::nullopt) << i;
  }
  EXPECT_EQ(scrollWindowInfo(t.system, 10), std::nullopt);
  t.system.unreadable = true;
  EXPECT_EQ(scrollWindowInfo(t.system, 9), std::nullopt);
}

TEST(QueriesTest, ListIsOneArrayLineOfThe128FrontmostWithNamesCutTo160Characters) {
  FakeRig t;
  const std::string emoji = "\U0001F469\u200D\U0001F4BB";  // one character of three code points
  std::string longName, cut;
  for (int i = 0; i < 170; ++i) (i < 160 ? cut : longName) += emoji;
  WindowDescription unnamed = normalWindow(5, 11, {0, 0, 10, 10});
  WindowList list{normalWindow(4, 11, {10, 20, 300, 200}, cut + longName), unnamed.set(WindowKey::OwnerName, I{3}),
                  normalWindow(6, 11, {0, 0, 10, 10}, std::string("Bad\xff")), normalWindow(8, 11, {0, 0, 0, 10})};
  for (int i = 0; i < 200; ++i) list.push_back(normalWindow(1000 + i, 11, {0, 0, 10, 10}));
  t.system.onScreen = list;
  EXPECT_EQ(runCaptureWindows(t.services, t.channel), 0);
  ASSERT_EQ(t.out.writes.size(), 2u);
  Json records = Json::parse(t.out.writes[0]);
  ASSERT_EQ(records.size(), 128u);
  EXPECT_EQ(records[0], Json::parse(R"({"bounds":{"height":200,"width":300,"x":10,"y":20},"id":"4","name":")" + cut +
                                    R"( · 4"})"));
  EXPECT_EQ(records[1]["name"], "窗口 · 5");
  EXPECT_EQ(records[2]["name"], "Bad\uFFFD · 6");
  EXPECT_EQ(records.back()["id"], "1124");
}

TEST(QueriesTest, OneShotQueriesAnswerOneLineWithTheirStatus) {
  FakeRig t;
  t.system.onScreen = WindowList{normalWindow(1, kParent, {0, 0, 900, 900}), normalWindow(2, 11, {0, 0, 79.9, 500}),
                                 normalWindow(3, 11, {5, 6, 80, 80}, "Mail"), normalWindow(4, 11, {0, 0, 800, 800})};
  t.system.byId = {{9, normalWindow(9, 11, {1.5, 2, 3, 4})}};
  const std::string info = errorLine("目标窗口已关闭、最小化或无法读取坐标");
  const struct { std::function<int(FakeRig&)> run; int status; std::string line; } cases[] = {
      {[](FakeRig& t) { return runActiveWindow(t.services, t.channel); }, 0,
       R"({"bounds":{"height":80,"width":80,"x":5,"y":6},"id":"3","name":"Mail"})"},
      {[](FakeRig& t) {
         t.system.onScreen->resize(2);
         return runActiveWindow(t.services, t.channel);
       }, 1, errorLine("没有找到可截取的当前窗口")},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "--window-info", "+9"}, t.channel); }, 0,
       R"({"height":4,"width":3,"x":1.5,"y":2})"},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "9", "--window-info"}, t.channel); }, 1, info},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "--window-info", "9", "9"}, t.channel); }, 1, info},
      {[](FakeRig& t) {
         t.system.onScreen.reset();
         return runCaptureWindows(t.services, t.channel);
       }, 1, errorLine("无法读取当前桌面窗口边界")},
      {[](FakeRig& t) {
         t.system.onScreen.reset();
         return runActiveWindow(t.services, t.channel);
       }, 1, errorLine("无法读取当前桌面窗口")},
      {[](FakeRig& t) {
         t.system.onScreen = WindowList{};
         return runCaptureWindows(t.services, t.channel);
       }, 0, "[]"},
      {[](FakeRig& t) {
         t.system.canListen = false;
         return runCheck(t.system, t.channel);
       }, 0, R"({"allowed":false})"},
      {[](FakeRig& t) { return runCheck(t.system, t.channel); }, 0, R"({"allowed":true})"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    FakeRig r;
    r.system.onScreen = t.system.onScreen;
    r.system.byId = t.system.byId;
    EXPECT_EQ(cases[i].run(r), cases[i].status) << i;
    EXPECT_EQ(r.out.lines(), Lines{cases[i].line}) << i;
  }
  const Json unencodable{{"name", std::string("\xc3")}};
  EXPECT_EQ(answer(t.channel, unencodable, 0), 1);  // status 1, a note on stderr
  EXPECT_EQ(t.err.text(), "Cannot encode input event: " + encodeJson(unencodable).error + "\n");
}

}  // namespace
}  // namespace quorvane::input
