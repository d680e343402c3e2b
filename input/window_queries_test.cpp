#include "input/window_queries.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace quorvane::input {
namespace {

using I = std::int64_t;
constexpr I kParent = 4242;  // FakeProcess's parent

Json onlyLine(const FakeRig& t) {
  auto lines = t.out.lines();
  EXPECT_EQ(lines.size(), 1u);
  return lines.empty() ? Json() : Json::parse(lines[0]);
}

TEST(QueriesTest, WindowRulesDecideWhatIsCapturable) {
  const struct {
    const char* what;
    std::function<void(WindowDescription&)> change;
    bool listed;
  } cases[] = {
      {"well formed", [](WindowDescription&) {}, true},
      {"layer 3", [](WindowDescription& d) { d.set(WindowKey::Layer, I{3}); }, false},
      {"negative layer", [](WindowDescription& d) { d.set(WindowKey::Layer, I{-1}); }, false},
      {"layer as double", [](WindowDescription& d) { d.set(WindowKey::Layer, 0.0); }, false},
      {"alpha 0", [](WindowDescription& d) { d.set(WindowKey::Alpha, 0.0); }, false},
      {"alpha NaN", [](WindowDescription& d) { d.set(WindowKey::Alpha, std::nan("")); }, false},
      {"alpha tiny", [](WindowDescription& d) { d.set(WindowKey::Alpha, 0.001); }, true},
      {"alpha as integer 0", [](WindowDescription& d) { d.set(WindowKey::Alpha, I{0}); }, true},
      {"owned by the parent", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, kParent); }, false},
      {"owner pid out of range", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, kParent + (I{1} << 32)); }, true},
      {"owner pid as text", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, std::string("4242")); }, true},
      {"number negative", [](WindowDescription& d) { d.set(WindowKey::Number, I{-7}); }, false},
      {"number too large", [](WindowDescription& d) { d.set(WindowKey::Number, I{1} << 32); }, false},
      {"number 2^32 - 1", [](WindowDescription& d) { d.set(WindowKey::Number, (I{1} << 32) - 1); }, true},
      {"bounds not a dictionary", [](WindowDescription& d) { d.set(WindowKey::Bounds, I{4}); }, false},
      {"bounds missing height", [](WindowDescription& d) { d.set(WindowKey::Bounds, Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", I{9}}}); }, false},
      {"bounds height as text", [](WindowDescription& d) { d.set(WindowKey::Bounds, Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", I{9}}, {"Height", std::string("9")}}); }, false},
      {"zero width", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({0, 0, 0, 10})); }, false},
      {"zero height", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }, false},
      {"negative size flipped", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({50, 50, -20, -20})); }, true},
  };
  for (const auto& c : cases) {
    FakeRig t;
    WindowDescription d = normalWindow(7, 11, {0, 0, 100, 100});
    c.change(d);
    t.system.onScreen = WindowList{d};
    EXPECT_EQ(runCaptureWindows(t.services, t.channel), 0) << c.what;
    EXPECT_EQ(onlyLine(t).size(), c.listed ? 1u : 0u) << c.what;
  }
}

TEST(QueriesTest, ListIsOneArrayLineOfThe128FrontmostWithNamesCutTo160Characters) {
  FakeRig t;
  const std::string emoji = "\U0001F469\u200D\U0001F4BB";  // one character of three code points
  std::string longName, cut;
  for (int i = 0; i < 170; ++i) (i < 160 ? cut : longName) += emoji;
  longName = cut + longName;
  WindowDescription unnamed = normalWindow(5, 11, {0, 0, 10, 10});
  unnamed.set(WindowKey::OwnerName, I{3});
  WindowList list{normalWindow(4, 11, {10, 20, 300, 200}, longName), unnamed,
                  normalWindow(6, 11, {0, 0, 10, 10}, std::string("Bad\xff"))};
  for (int i = 0; i < 200; ++i) list.push_back(normalWindow(1000 + i, 11, {0, 0, 10, 10}));
  t.system.onScreen = list;
  EXPECT_EQ(runCaptureWindows(t.services, t.channel), 0);
  ASSERT_EQ(t.out.writes.size(), 2u);
  Json records = Json::parse(t.out.writes[0]);
  ASSERT_EQ(records.size(), 128u);
  EXPECT_EQ(records[0], Json::parse(R"({"bounds":{"height":200,"width":300,"x":10,"y":20},"id":"4","name":")" + cut + R"( · 4"})"));
  EXPECT_EQ(records[1]["name"], "窗口 · 5");
  EXPECT_EQ(records[2]["name"], "Bad\uFFFD · 6");
  EXPECT_EQ(records.back()["id"], "1124");
}

TEST(QueriesTest, ActiveWindowIsTheFrontmostOfAtLeast80By80) {
  FakeRig t;
  t.system.onScreen = WindowList{normalWindow(1, kParent, {0, 0, 900, 900}), normalWindow(2, 11, {0, 0, 79.9, 500}),
                                 normalWindow(3, 11, {5, 6, 80, 80}, "Mail"), normalWindow(4, 11, {0, 0, 800, 800})};
  EXPECT_EQ(runActiveWindow(t.services, t.channel), 0);
  EXPECT_EQ(t.out.text(), R"({"bounds":{"height":80,"width":80,"x":5,"y":6},"id":"3","name":"Mail"})" "\n");
}

TEST(QueriesTest, ErrorsOfTheOneShotQueries) {
  const std::string unreadableList = errorLine("无法读取当前桌面窗口边界"), unreadable = errorLine("无法读取当前桌面窗口");
  const std::string none = errorLine("没有找到可截取的当前窗口"), info = errorLine("目标窗口已关闭、最小化或无法读取坐标");
  FakeRig t;
  t.system.byId = {{9, normalWindow(9, kParent, {1.5, 2, 3, 4})}};  // the application's own window is reported too
  const struct {
    std::function<int(FakeRig&)> run;
    int status;
    std::string line;
  } cases[] = {
      {[](FakeRig& t) { return runActiveWindow(t.services, t.channel); }, 1, none},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "--window-info", "+9"}, t.channel); }, 0, R"({"height":4,"width":3,"x":1.5,"y":2})"},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "9", "--window-info"}, t.channel); }, 1, info},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "--window-info", "9", "9"}, t.channel); }, 1, info},
      {[](FakeRig& t) { return runWindowInfo(t.system, {"p", "--window-info", "10"}, t.channel); }, 1, info},
      {[](FakeRig& t) { t.system.byId[9].set(WindowKey::IsOnscreen, I{1}); return runWindowInfo(t.system, {"p", "--window-info", "9"}, t.channel); }, 1, info},
      {[](FakeRig& t) { t.system.byId[9].set(WindowKey::OwnerPid, 11.0); return runWindowInfo(t.system, {"p", "--window-info", "9"}, t.channel); }, 1, info},
      {[](FakeRig& t) { t.system.unreadable = true; return runWindowInfo(t.system, {"p", "--window-info", "9"}, t.channel); }, 1, info},
      {[](FakeRig& t) { t.system.onScreen.reset(); return runCaptureWindows(t.services, t.channel); }, 1, unreadableList},
      {[](FakeRig& t) { t.system.onScreen.reset(); return runActiveWindow(t.services, t.channel); }, 1, unreadable},
      {[](FakeRig& t) { return runCaptureWindows(t.services, t.channel); }, 0, "[]"},
      {[](FakeRig& t) { t.system.canListen = false; return runCheck(t.system, t.channel); }, 0, R"({"allowed":false})"},
      {[](FakeRig& t) { return runCheck(t.system, t.channel); }, 0, R"({"allowed":true})"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    FakeRig r;
    r.system.byId = t.system.byId;
    EXPECT_EQ(cases[i].run(r), cases[i].status) << i;
    EXPECT_EQ(r.out.lines(), std::vector<std::string>{cases[i].line}) << i;
  }
}

TEST(QueriesTest, UnencodableAnswerEndsWithStatus1AndANoteOnStderr) {
  FakeRig t;
  EXPECT_EQ(answer(t.channel, Json{{"name", std::string("\xc3")}}, 0), 1);
  EXPECT_TRUE(t.out.writes.empty());
  EXPECT_EQ(t.err.text().rfind("Cannot encode input event: ", 0), 0u);
  EXPECT_EQ(t.err.text().back(), '\n');
}

}  // namespace
}  // namespace quorvane::input
