// Focusing and auto-scroll against a real X server, window manager and XTEST.
#include <chrono>
#include <cmath>
#include <csignal>
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

const std::string kFocused = "{\"focused\":true}";
const std::string kF1 = "{\"error\":\"所选窗口已关闭、最小化或无效\"}";
const std::string kReady = "{\"type\":\"ready\"}";
const std::string kStep = "{\"type\":\"step\"}";
const std::string kStopped = "{\"error\":\"已停止：鼠标被移动、目标窗口被遮挡/移动/关闭或滚动请求无效\",\"type\":\"error\"}";
const std::string kCovered = "{\"error\":\"所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试\",\"type\":\"error\"}";

class AutomationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = new XSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }
  void SetUp() override { movePointer(5, 5); }

  SpawnOptions onDisplay() {
    SpawnOptions o;
    o.env["DISPLAY"] = session_->display();
    return o;
  }
  Result input(const std::vector<std::string>& args) {
    std::vector<std::string> argv{binary("quorvane-input")};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, "", onDisplay());
  }
  void movePointer(int x, int y) {
    ASSERT_EQ(run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}, "", onDisplay()).status, 0);
  }
  std::pair<int, int> pointer() {
    Result r = run({"xdotool", "getmouselocation", "--shell"}, "", onDisplay());
    int x = -1, y = -1;
    sscanf(r.out.c_str(), "X=%d\nY=%d", &x, &y);
    return {x, y};
  }
  json bounds(std::uint32_t id) {
    Result r = input({"--window-info", std::to_string(id)});
    return r.status == 0 ? json::parse(r.out) : json();
  }
  std::vector<std::string> logsOf(FakeApp& app, const std::string& kind) {
    app.command("sync");  // every event so far has been logged once the reply is in
    std::vector<std::string> found;
    for (const auto& l : app.logs_) {
      if (l.rfind(kind, 0) == 0) found.push_back(l);
    }
    return found;
  }
  // The scroll helper, started by `parent` as the application would.
  void startScroll(FakeApp& parent, std::uint32_t id, const std::vector<std::string>& selection) {
    std::vector<std::string> argv{binary("quorvane-input"), "--scroll", std::to_string(id)};
    argv.insert(argv.end(), selection.begin(), selection.end());
    ASSERT_GT(parent.run(argv), 0);
  }

  static XSession* session_;
};

XSession* AutomationTest::session_ = nullptr;

TEST_F(AutomationTest, FocusBringsAWindowFromBehindAnotherApplication) {
  FakeApp target(*session_), other(*session_), app(*session_);
  auto behind = target.openWindow("x=100 y=100 w=400 h=300 class=Target");
  auto cover = other.openWindow("x=120 y=120 w=400 h=300 class=Cover");
  ASSERT_TRUE(behind && cover);
  ASSERT_GT(app.run({binary("quorvane-input"), "--focus-window", std::to_string(*behind)}), 0);
  EXPECT_EQ(app.stdoutLine(), kFocused);
  EXPECT_EQ(app.waitHelper(), 0);
  Result active = input({"--active-window"});
  EXPECT_EQ(json::parse(active.out)["id"], std::to_string(*behind));
}

TEST_F(AutomationTest, FocusRaisesAWindowBehindItsOwnSibling) {
  FakeApp target(*session_);
  auto behind = target.openWindow("x=300 y=200 w=300 h=250 class=Twin");
  auto sibling = target.openWindow("x=320 y=220 w=300 h=250 class=Twin");
  ASSERT_TRUE(behind && sibling);
  Result r = input({"--focus-window", std::to_string(*behind)});
  EXPECT_EQ(r.out, kFocused + "\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(AutomationTest, FocusRefusesHiddenAwayAndOwnWindows) {
  FakeApp target(*session_), app(*session_);
  auto minimised = target.openWindow("w=200 h=200 class=Mini");
  auto away = target.openWindow("w=200 h=200 class=Away");
  auto own = app.openWindow("w=200 h=200 class=Own");
  ASSERT_TRUE(minimised && away && own);
  target.command("iconify " + std::to_string(*minimised));
  target.command("todesktop " + std::to_string(*away) + " 3");
  ASSERT_TRUE(eventually([&] { return bounds(*minimised).is_null() && bounds(*away).is_null(); }));

  for (const std::string& id : {std::to_string(*minimised), std::to_string(*away), std::to_string(*own), std::string("x1")}) {
    ASSERT_GT(app.run({binary("quorvane-input"), "--focus-window", id}), 0);
    EXPECT_EQ(app.stdoutLine(), kF1) << id;
    EXPECT_EQ(app.waitHelper(), 1) << id;
  }
}

TEST_F(AutomationTest, StepsTurnTheWheelOverTheSelectionOfTheTargetOnly) {
  FakeApp target(*session_), bystander(*session_), app(*session_);
  auto other = bystander.openWindow("x=700 y=100 w=300 h=300 log=1 class=Bystander");
  auto id = target.openWindow("x=100 y=100 w=400 h=400 log=1 class=Scrolled");
  ASSERT_TRUE(id && other);
  json frame = bounds(*id);
  ASSERT_FALSE(frame.is_null());
  startScroll(app, *id, {"0.25", "0.5", "0.5", "0.25"});
  ASSERT_EQ(app.stdoutLine(), kReady);
  for (int i = 0; i < 3; ++i) {
    app.send("step\n");
    ASSERT_EQ(app.stdoutLine(), kStep);
  }
  app.send("stop\n");
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(app.process().readLine(200ms), std::nullopt);

  // The selection's centre, to the nearest pixel.
  long cx = std::lround(frame["x"].get<double>() + 0.5 * frame["width"].get<double>());
  long cy = std::lround(frame["y"].get<double>() + 0.625 * frame["height"].get<double>());
  auto wheels = logsOf(target, "wheel ");
  ASSERT_EQ(wheels.size(), 3u);
  for (const auto& w : wheels) {
    EXPECT_EQ(w, "wheel " + std::to_string(*id) + " 5 " + std::to_string(cx) + " " + std::to_string(cy));
  }
  EXPECT_TRUE(logsOf(bystander, "wheel ").empty());
  // Put back where the user had it.
  EXPECT_EQ(pointer(), std::make_pair(5, 5));
}

TEST_F(AutomationTest, CoveredSelectionIsRefused) {
  FakeApp target(*session_), cover(*session_), app(*session_);
  auto id = target.openWindow("x=100 y=100 w=400 h=400 log=1 class=Covered");
  ASSERT_TRUE(id);
  // An always-on-top window of another application over the selection's centre.
  auto top = cover.openWindow("x=250 y=250 w=200 h=200 above=1 class=Overlay");
  ASSERT_TRUE(top);
  startScroll(app, *id, {"0.25", "0.25", "0.5", "0.5"});
  EXPECT_EQ(app.stdoutLine(), kCovered);
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_TRUE(logsOf(target, "wheel ").empty());
  EXPECT_EQ(pointer(), std::make_pair(5, 5));
}

TEST_F(AutomationTest, MovingTheWindowOrThePointerStopsTheRun) {
  for (const char* change : {"window", "pointer"}) {
    FakeApp target(*session_), app(*session_);
    auto id = target.openWindow("x=100 y=100 w=400 h=400 log=1 class=Moving");
    ASSERT_TRUE(id);
    startScroll(app, *id, {"0", "0", "1", "1"});
    ASSERT_EQ(app.stdoutLine(), kReady) << change;
    app.send("step\n");
    ASSERT_EQ(app.stdoutLine(), kStep) << change;
    json before = bounds(*id);
    if (std::string(change) == "window") {
      target.command("move " + std::to_string(*id) + " 110 100");
      ASSERT_TRUE(eventually([&] { return bounds(*id) != before; })) << change;
    } else {
      movePointer(50, 50);
    }
    app.send("step\n");
    EXPECT_EQ(app.stdoutLine(), kStopped) << change;
    EXPECT_EQ(app.waitHelper(), 0) << change;
    EXPECT_EQ(logsOf(target, "wheel ").size(), 1u) << change;
    if (std::string(change) == "pointer") {
      EXPECT_EQ(pointer(), std::make_pair(50, 50));
    }
    movePointer(5, 5);
  }
}

TEST_F(AutomationTest, ClosingStdinEndsQuietlyAndRestoresThePointer) {
  FakeApp target(*session_), app(*session_);
  auto id = target.openWindow("x=100 y=100 w=300 h=300 class=Quiet");
  ASSERT_TRUE(id);
  startScroll(app, *id, {"0", "0", "1", "1"});
  ASSERT_EQ(app.stdoutLine(), kReady);
  EXPECT_NE(pointer(), std::make_pair(5, 5));
  app.closeHelperStdin();
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(app.process().readLine(200ms), std::nullopt);
  EXPECT_EQ(pointer(), std::make_pair(5, 5));
}

TEST_F(AutomationTest, DeathOfTheParentEndsTheRunQuietly) {
  FakeApp target(*session_);
  auto id = target.openWindow("x=100 y=100 w=300 h=300 log=1 class=Orphaned");
  ASSERT_TRUE(id);
  auto app = std::make_unique<FakeApp>(*session_);
  startScroll(*app, *id, {"0", "0", "1", "1"});
  ASSERT_EQ(app->stdoutLine(), kReady);
  Child& parent = app->process();
  parent.kill(SIGKILL);
  ASSERT_TRUE(parent.wait(5s));
  // The helper still holds the pipes the dead parent handed it.
  parent.writeStdin("step\n");
  EXPECT_EQ(parent.readAllStdout(15s), "");
  EXPECT_TRUE(logsOf(target, "wheel ").empty());
}

}  // namespace
}  // namespace quorvane::test
