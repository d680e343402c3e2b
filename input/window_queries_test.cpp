#include "input/window_queries.h"

#include <gtest/gtest.h>

#include "input/answer.h"
#include "input/fake_platform.h"

namespace quorvane::input {
namespace {

struct QueriesTest : ::testing::Test {
  FakeWindowServer server;
  FakeProcess process;
  FakePermissions permissions;
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);

  Json onlyLine() {
    auto lines = out.lines();
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? Json() : Json::parse(lines[0]);
  }
};

TEST_F(QueriesTest, ListsCapturableWindowsFrontToBackAsOneArrayLine) {
  server.onScreen = WindowList{normalWindow(30, 11, {10, 20, 300, 200}, "Terminal"),
                               normalWindow(31, 12, {0, 0, 79, 500}, "Files")};
  EXPECT_EQ(runCaptureWindows(server, process, channel), 0);
  ASSERT_EQ(out.writes.size(), 2u);
  EXPECT_EQ(out.writes[1], "\n");
  EXPECT_EQ(Json::parse(out.writes[0]),
            Json::parse(R"([{"bounds":{"height":200,"width":300,"x":10,"y":20},"id":"30","name":"Terminal · 30"},
                            {"bounds":{"height":500,"width":79,"x":0,"y":0},"id":"31","name":"Files · 31"}])"));
}

TEST_F(QueriesTest, WindowRulesDecideWhatIsCapturable) {
  using I = std::int64_t;
  auto base = [] { return normalWindow(7, 11, {0, 0, 100, 100}); };
  const struct {
    const char* what;
    std::function<void(WindowDescription&)> change;
    bool listed;
  } cases[] = {
      {"well formed", [](WindowDescription&) {}, true},
      {"layer 3", [](WindowDescription& d) { d.set(WindowKey::Layer, I{3}); }, false},
      {"negative layer", [](WindowDescription& d) { d.set(WindowKey::Layer, I{-1}); }, false},
      {"layer as double", [](WindowDescription& d) { d.set(WindowKey::Layer, 0.0); }, false},
      {"no layer", [](WindowDescription& d) { d = WindowDescription(); d.set(WindowKey::Number, I{7}).set(WindowKey::Bounds, boundsDict({0, 0, 9, 9})); }, false},
      {"alpha 0", [](WindowDescription& d) { d.set(WindowKey::Alpha, 0.0); }, false},
      {"alpha negative", [](WindowDescription& d) { d.set(WindowKey::Alpha, -0.5); }, false},
      {"alpha NaN", [](WindowDescription& d) { d.set(WindowKey::Alpha, std::nan("")); }, false},
      {"alpha tiny", [](WindowDescription& d) { d.set(WindowKey::Alpha, 0.001); }, true},
      {"alpha as integer 0", [](WindowDescription& d) { d.set(WindowKey::Alpha, I{0}); }, true},
      {"owned by the parent", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, I{500}); }, false},
      {"owner pid out of range", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, I{500} + (I{1} << 32)); }, true},
      {"owner pid as text", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, std::string("500")); }, true},
      {"number negative", [](WindowDescription& d) { d.set(WindowKey::Number, I{-7}); }, false},
      {"number too large", [](WindowDescription& d) { d.set(WindowKey::Number, I{1} << 32); }, false},
      {"bounds not a dictionary", [](WindowDescription& d) { d.set(WindowKey::Bounds, I{4}); }, false},
      {"bounds missing height", [](WindowDescription& d) { d.set(WindowKey::Bounds, Dict{{"X", I{0}}, {"Y", I{0}}, {"Width", I{9}}}); }, false},
      {"zero width", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({0, 0, 0, 10})); }, false},
      {"negative size flipped", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({50, 50, -20, -20})); }, true},
  };
  for (const auto& c : cases) {
    WindowDescription d = base();
    c.change(d);
    server.onScreen = WindowList{d};
    out.writes.clear();
    EXPECT_EQ(runCaptureWindows(server, process, channel), 0) << c.what;
    EXPECT_EQ(onlyLine().size(), c.listed ? 1u : 0u) << c.what;
  }
}

TEST_F(QueriesTest, ListHoldsThe128FrontmostWindows) {
  WindowList list;
  for (int i = 0; i < 200; ++i) list.push_back(normalWindow(1000 + i, 11, {0, 0, 10, 10}));
  server.onScreen = list;
  runCaptureWindows(server, process, channel);
  Json records = onlyLine();
  ASSERT_EQ(records.size(), 128u);
  EXPECT_EQ(records.front()["id"], "1000");
  EXPECT_EQ(records.back()["id"], "1127");
}

TEST_F(QueriesTest, NamesAreCutTo160CharactersThenNumbered) {
  std::string emoji = "\U0001F469\u200D\U0001F4BB";  // one character of three code points
  std::string longName;
  for (int i = 0; i < 170; ++i) longName += emoji;
  WindowDescription unnamed = normalWindow(5, 11, {0, 0, 10, 10});
  unnamed.set(WindowKey::OwnerName, std::int64_t{3});
  server.onScreen = WindowList{normalWindow(4, 11, {0, 0, 10, 10}, longName), unnamed,
                               normalWindow(6, 11, {0, 0, 10, 10}, std::string("Bad\xff"))};
  runCaptureWindows(server, process, channel);
  Json records = onlyLine();
  std::string expected;
  for (int i = 0; i < 160; ++i) expected += emoji;
  EXPECT_EQ(records[0]["name"], expected + " · 4");
  EXPECT_EQ(records[1]["name"], "窗口 · 5");
  EXPECT_EQ(records[2]["name"], "Bad\uFFFD · 6");
}

TEST_F(QueriesTest, EmptyListIsAnEmptyArray) {
  EXPECT_EQ(runCaptureWindows(server, process, channel), 0);
  EXPECT_EQ(out.text(), "[]\n");
}

TEST_F(QueriesTest, UnreadableListIsAnError) {
  server.onScreen = std::nullopt;
  EXPECT_EQ(runCaptureWindows(server, process, channel), 1);
  EXPECT_EQ(out.text(), "{\"error\":\"无法读取当前桌面窗口边界\",\"type\":\"error\"}\n");
  out.writes.clear();
  EXPECT_EQ(runActiveWindow(server, process, channel), 1);
  EXPECT_EQ(out.text(), "{\"error\":\"无法读取当前桌面窗口\",\"type\":\"error\"}\n");
}

TEST_F(QueriesTest, ActiveWindowIsTheFrontmostOfAtLeast80By80) {
  server.onScreen = WindowList{normalWindow(1, 500, {0, 0, 900, 900}),   // the application's own
                               normalWindow(2, 11, {0, 0, 79, 500}),     // too narrow
                               normalWindow(3, 11, {5, 6, 80, 80}, "Mail"),
                               normalWindow(4, 11, {0, 0, 800, 800})};
  EXPECT_EQ(runActiveWindow(server, process, channel), 0);
  EXPECT_EQ(out.text(), "{\"bounds\":{\"height\":80,\"width\":80,\"x\":5,\"y\":6},\"id\":\"3\",\"name\":\"Mail\"}\n");
}

TEST_F(QueriesTest, NoActiveWindow) {
  server.onScreen = WindowList{normalWindow(2, 11, {0, 0, 79.9, 500})};
  EXPECT_EQ(runActiveWindow(server, process, channel), 1);
  EXPECT_EQ(onlyLine()["error"], "没有找到可截取的当前窗口");
}

TEST_F(QueriesTest, ScrollWindowInfoNeedsOnScreenBoundsAndOwner) {
  using I = std::int64_t;
  const struct {
    const char* what;
    std::function<void(WindowDescription&)> change;
    bool found;
  } cases[] = {
      {"well formed", [](WindowDescription&) {}, true},
      {"off screen", [](WindowDescription& d) { d.set(WindowKey::IsOnscreen, false); }, false},
      {"on-screen flag as integer", [](WindowDescription& d) { d.set(WindowKey::IsOnscreen, I{1}); }, false},
      {"no bounds", [](WindowDescription& d) { d.set(WindowKey::Bounds, std::string()); }, false},
      {"owner as double", [](WindowDescription& d) { d.set(WindowKey::OwnerPid, 11.0); }, false},
      {"empty frame, layer 20", [](WindowDescription& d) { d.set(WindowKey::Bounds, boundsDict({1, 2, 0, 0})).set(WindowKey::Layer, I{20}); }, true},
  };
  for (const auto& c : cases) {
    WindowDescription d = normalWindow(9, 11, {1, 2, 3, 4});
    c.change(d);
    server.byId = {{9, d}};
    EXPECT_EQ(scrollWindowInfo(server, 9).has_value(), c.found) << c.what;
  }
  EXPECT_FALSE(scrollWindowInfo(server, 10));
  server.unreadable = true;
  EXPECT_FALSE(scrollWindowInfo(server, 9));
}

TEST_F(QueriesTest, WindowInfoReadsTheNumberAtPosition2Only) {
  server.byId = {{9, normalWindow(9, 500, {1.5, 2, 3, 4})}};  // the application's own window is reported too
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"p", "--window-info", "9"}, 0},
      {{"p", "--window-info", "+9"}, 0},
      {{"p", "9", "--window-info"}, 1},
      {{"p", "--window-info"}, 1},
      {{"p", "--window-info", "9", "9"}, 1},
      {{"p", "--window-info", "10"}, 1},
      {{"p", "--window-info", "9x"}, 1},
  };
  for (const auto& c : cases) {
    out.writes.clear();
    EXPECT_EQ(runWindowInfo(server, c.args, channel), c.status) << c.args.size();
    Json expected = c.status == 0 ? Json::parse(R"({"height":4,"width":3,"x":1.5,"y":2})")
                                  : Json{{"type", "error"}, {"error", "目标窗口已关闭、最小化或无法读取坐标"}};
    EXPECT_EQ(onlyLine(), expected);
  }
}

TEST_F(QueriesTest, CheckAnswersThePermissionWithStatus0) {
  permissions.listen = false;
  EXPECT_EQ(runCheck(permissions, channel), 0);
  EXPECT_EQ(out.text(), "{\"allowed\":false}\n");
  EXPECT_EQ(permissions.listenRequests, 0);
}

TEST_F(QueriesTest, UnencodableAnswerEndsWithStatus1AndANoteOnStderr) {
  Json bad = Json{{"name", std::string("\xc3")}};
  EXPECT_EQ(answer(channel, bad, 0), 1);
  EXPECT_TRUE(out.writes.empty());
  ASSERT_EQ(err.writes.size(), 1u);
  EXPECT_EQ(err.writes[0].rfind("Cannot encode input event: ", 0), 0u);
  EXPECT_EQ(err.writes[0].back(), '\n');
}

}  // namespace
}  // namespace quorvane::input
