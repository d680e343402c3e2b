// quorvane-input's one-shot modes against a real X server and window manager.
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/eventually.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class InputWindowsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = new XSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  // Runs quorvane-input from the test process (its parent is the test, not an application).
  Result input(const std::vector<std::string>& args) {
    std::vector<std::string> argv{binary("quorvane-input")};
    argv.insert(argv.end(), args.begin(), args.end());
    SpawnOptions options;
    options.env["DISPLAY"] = session_->display();
    return run(argv, "", options);
  }

  json list() {
    Result r = input({"--capture-windows"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return json::parse(r.out);
  }

  static bool listed(const json& records, std::uint32_t id) {
    for (const auto& r : records) {
      if (r["id"] == std::to_string(id)) return true;
    }
    return false;
  }

  static XSession* session_;
};

XSession* InputWindowsTest::session_ = nullptr;

TEST_F(InputWindowsTest, ListsOtherApplicationsWindowsFrontToBack) {
  FakeApp other(*session_);
  auto back = other.openWindow("x=40 y=50 w=300 h=200 class=Backmost");
  auto front = other.openWindow("x=60 y=70 w=320 h=240 class=Frontmost");
  auto transparent = other.openWindow("x=80 y=90 w=100 h=100 class=Clear opacity=0");
  auto dock = other.openWindow("x=0 y=700 w=1280 h=40 class=Panel type=dock");
  auto badName = other.openWindow(std::string("w=120 h=120 class=Bad\xff" "Name"));
  ASSERT_TRUE(back && front && transparent && dock && badName);

  json records = list();
  ASSERT_TRUE(listed(records, *back) && listed(records, *front) && listed(records, *badName)) << records;
  EXPECT_FALSE(listed(records, *transparent));
  EXPECT_FALSE(listed(records, *dock));
  // Front to back: the window opened last is in front.
  size_t frontAt = 0, backAt = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i]["id"] == std::to_string(*front)) frontAt = i;
    if (records[i]["id"] == std::to_string(*back)) backAt = i;
    if (records[i]["id"] == std::to_string(*badName)) {
      EXPECT_EQ(records[i]["name"], "Bad\uFFFDName · " + std::to_string(*badName));
    }
  }
  EXPECT_LT(frontAt, backAt);
  for (const auto& r : records) {
    if (r["id"] == std::to_string(*front)) {
      EXPECT_EQ(r["name"], "Frontmost · " + std::to_string(*front));
      // The frame: the client's size plus the window manager's decorations.
      EXPECT_GE(r["bounds"]["width"].get<double>(), 320);
      EXPECT_GT(r["bounds"]["height"].get<double>(), 240);
    }
  }
}

TEST_F(InputWindowsTest, LeavesOutTheApplicationsOwnWindows) {
  FakeApp app(*session_);
  FakeApp other(*session_);
  auto own = app.openWindow("w=400 h=300 class=Quorvane");
  auto foreign = other.openWindow("w=200 h=150 class=Editor");
  ASSERT_TRUE(own && foreign);
  ASSERT_GT(app.run({binary("quorvane-input"), "--capture-windows"}), 0);
  auto line = app.stdoutLine();
  ASSERT_TRUE(line);
  json records = json::parse(*line);
  EXPECT_FALSE(listed(records, *own)) << *line;
  EXPECT_TRUE(listed(records, *foreign)) << *line;
  EXPECT_EQ(app.waitHelper(), 0);

  // Seen from outside the application, its window is an ordinary one.
  EXPECT_TRUE(listed(list(), *own));
}

TEST_F(InputWindowsTest, ActiveWindowIsTheFrontmostLargeEnoughWindow) {
  FakeApp other(*session_);
  auto large = other.openWindow("x=100 y=100 w=500 h=400 class=Large");
  auto small = other.openWindow("x=120 y=120 w=40 h=40 class=Tiny");
  ASSERT_TRUE(large && small);
  Result r = input({"--active-window"});
  ASSERT_EQ(r.status, 0) << r.out;
  json answer = json::parse(r.out);
  EXPECT_EQ(answer["id"], std::to_string(*large));
  EXPECT_EQ(answer["name"], "Large");
  EXPECT_EQ(r.out.back(), '\n');
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
}

TEST_F(InputWindowsTest, WindowInfoFollowsTheWindow) {
  FakeApp other(*session_);
  auto id = other.openWindow("x=200 y=150 w=250 h=180 class=Viewer");
  ASSERT_TRUE(id);
  Result r = input({"--window-info", std::to_string(*id)});
  ASSERT_EQ(r.status, 0) << r.out;
  json bounds = json::parse(r.out);
  for (const auto& record : list()) {
    if (record["id"] == std::to_string(*id)) {
      EXPECT_EQ(record["bounds"], bounds);
    }
  }
  EXPECT_FALSE(bounds.contains("type"));

  const std::string closed = "{\"error\":\"目标窗口已关闭、最小化或无法读取坐标\",\"type\":\"error\"}\n";
  other.command("iconify " + std::to_string(*id));
  EXPECT_TRUE(eventually([&] { return input({"--window-info", std::to_string(*id)}).out == closed; }));
  Result minimised = input({"--window-info", std::to_string(*id)});
  EXPECT_EQ(minimised.status, 1);
  EXPECT_FALSE(listed(list(), *id));
}

TEST_F(InputWindowsTest, WindowOnAnotherDesktopIsNotOnScreen) {
  FakeApp other(*session_);
  auto id = other.openWindow("w=250 h=180 class=Away");
  ASSERT_TRUE(id);
  ASSERT_EQ(input({"--window-info", std::to_string(*id)}).status, 0);
  other.command("todesktop " + std::to_string(*id) + " 2");
  EXPECT_TRUE(eventually([&] { return input({"--window-info", std::to_string(*id)}).status == 1; }));
  EXPECT_FALSE(listed(list(), *id));
}

TEST_F(InputWindowsTest, WindowInfoOfNoWindowFrameOrRoot) {
  FakeApp other(*session_);
  auto closing = other.openWindow("w=100 h=100");
  ASSERT_TRUE(closing);
  other.command("close " + std::to_string(*closing));
  other.command("sync");
  for (std::string number : {std::to_string(*closing), std::string("1"), std::string("4294967295")}) {
    Result r = input({"--window-info", number});
    EXPECT_EQ(r.status, 1) << number;
    EXPECT_EQ(r.out, "{\"error\":\"目标窗口已关闭、最小化或无法读取坐标\",\"type\":\"error\"}\n") << number;
  }
}

TEST_F(InputWindowsTest, UnusableCommandLines) {
  const std::string invalid = "{\"error\":\"无效的原生输入来源\",\"type\":\"error\"}\n";
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--capture-windows", "extra"},
      {"--active-window", "extra"},
      {"--focus-window", "1", "2"},
      {"window", "4294967296"},
      {"window", "12a"},
      {"window", " 12"},
      {"Screen", "1"},
      {"--unknown"},
  };
  for (const auto& args : cases) {
    Result r = input(args);
    EXPECT_EQ(r.status, 1) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(r.out, invalid);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(InputWindowsTest, SelfTestsAndCheck) {
  Result keys = input({"--check", "--self-test"});
  EXPECT_EQ(keys.status, 0);
  EXPECT_EQ(keys.out, "{\"plain\":null,\"shiftOnly\":null,\"shortcut\":\"Cmd+Shift+9\",\"unknown\":null}\n");
  Result scroll = input({"--focus-window", "--scroll-self-test"});
  EXPECT_EQ(scroll.status, 0);
  EXPECT_EQ(json::parse(scroll.out).size(), 9u);
  Result check = input({"--check"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "{\"allowed\":true}\n");
}

TEST(InputWithoutX, ReportsTheQueriesOwnErrors) {
  SpawnOptions options;
  options.env["DISPLAY"] = ":65000";  // nothing listens there
  const struct {
    const char* option;
    const char* text;
  } cases[] = {{"--capture-windows", "无法读取当前桌面窗口边界"}, {"--active-window", "无法读取当前桌面窗口"}};
  for (const auto& c : cases) {
    Result r = run({binary("quorvane-input"), c.option}, "", options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string("{\"error\":\"") + c.text + "\",\"type\":\"error\"}\n");
  }
  Result check = run({binary("quorvane-input"), "--check"}, "", options);
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "{\"allowed\":false}\n");
}

TEST(InputWithoutWindowManager, ListsTheMappedTopLevelWindows) {
  XSessionOptions bare;
  bare.windowManager = false;
  XSession session(bare);
  FakeApp other(session);
  auto shown = other.openWindow("x=10 y=20 w=200 h=100 class=Bare");
  ASSERT_TRUE(shown);
  SpawnOptions options;
  options.env["DISPLAY"] = session.display();
  Result r = run({binary("quorvane-input"), "--capture-windows"}, "", options);
  ASSERT_EQ(r.status, 0);
  json records = json::parse(r.out);
  ASSERT_EQ(records.size(), 1u) << r.out;
  EXPECT_EQ(records[0]["bounds"], json::parse(R"({"height":100,"width":200,"x":10,"y":20})"));
  EXPECT_EQ(records[0]["name"], "Bare · " + std::to_string(*shown));
}

}  // namespace
}  // namespace quorvane::test
