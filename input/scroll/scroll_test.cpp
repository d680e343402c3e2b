#include "input/scroll/scroll.h"

#include <gtest/gtest.h>

#include "input/answer.h"
#include "input/fake_automation.h"
#include "input/fake_platform.h"

namespace quorvane::input {
namespace {

constexpr std::int32_t kOwner = 300;
constexpr std::uint32_t kTarget = 77;

const std::string kReady = "{\"type\":\"ready\"}";
const std::string kStep = "{\"type\":\"step\"}";
std::string error(const std::string& text) { return "{\"error\":\"" + text + "\",\"type\":\"error\"}"; }
const std::string kStopped = error("已停止：鼠标被移动、目标窗口被遮挡/移动/关闭或滚动请求无效");

struct ScrollTest : ::testing::Test {
  FakeWindowServer windows;
  FakeProcess process;
  FakeApplications apps;
  FakeAccessibility ax;
  FakeEvents events;
  FakeCommands commands;
  FakeClock clock;
  RecordingOutput out, err;
  Channel channel = makeChannel(out, err);
  ScrollPlatform platform{windows, process, apps, ax, events, commands, clock};

  // A 400 x 400 window at (100, 200); the selection's centre is the middle.
  const Rect bounds{100, 200, 400, 400};
  const Point centre{300, 400};

  void SetUp() override {
    windows = FakeWindowServer();
    process = FakeProcess();
    apps = FakeApplications();
    ax = FakeAccessibility();
    events = FakeEvents();
    commands = FakeCommands();
    windows.byId = {{kTarget, normalWindow(kTarget, kOwner, bounds)}};
    windows.onScreen = WindowList{normalWindow(kTarget, kOwner, bounds)};
    apps.runningPids = {kOwner};
    ax.hitPid = kOwner;
  }

  int scroll(std::vector<std::string> values = {"0.25", "0.25", "0.5", "0.5"}) {
    std::vector<std::string> args{"quorvane-input", "--scroll", std::to_string(kTarget)};
    args.insert(args.end(), values.begin(), values.end());
    return runScroll(platform, args, channel);
  }
  std::vector<std::string> lines() { return out.lines(); }
  std::vector<std::string> readyThen(std::vector<std::string> rest) {
    rest.insert(rest.begin(), kReady);
    return rest;
  }
};

TEST_F(ScrollTest, RefusesBadArgumentsBeforeLookingAtWindows) {
  const std::string bad = error("无效的自动滚动参数");
  const std::string outside = error("自动滚动选区必须位于目标窗口内");
  const struct {
    std::vector<std::string> args;
    std::string answer;
  } cases[] = {
      {{"p", "--scroll", "77", "0", "0", "1"}, bad},
      {{"p", "--scroll", "77", "0", "0", "1", "1", "1"}, bad},
      {{"p", "--scroll", "4294967296", "0", "0", "1", "1"}, bad},
      {{"p", "--scroll", "77a", "0", "0", "1", "1"}, bad},
      {{"p", "--scroll", " 77", "0", "0", "1", "1"}, bad},
      {{"p", "--scroll", "77", "0", "0", "1", "1x"}, bad},
      {{"p", "--scroll", "77", "0", "0", "", "1"}, bad},
      {{"p", "--scroll", "77", "nan", "0", "1", "1"}, outside},
      {{"p", "--scroll", "77", "0", "0", "inf", "1"}, outside},
      {{"p", "--scroll", "77", "0.5", "0", "0.6", "1"}, outside},
      {{"p", "--scroll", "77", "0", "0", "0", "1"}, outside},
  };
  for (const auto& c : cases) {
    out.writes.clear();
    EXPECT_EQ(runScroll(platform, c.args, channel), 0);
    EXPECT_EQ(lines(), std::vector<std::string>{c.answer}) << c.args[2] << " " << c.args.size();
  }
  EXPECT_EQ(windows.lookupCalls, 0);
  EXPECT_TRUE(events.moves.empty());
}

TEST_F(ScrollTest, RefusesWindowsThatCannotBeScrolled) {
  const std::string invalid = error("目标窗口已关闭、最小化或无效");
  const struct {
    const char* what;
    std::function<void(ScrollTest&)> change;
  } cases[] = {
      {"no such window", [](ScrollTest& t) { t.windows.byId.clear(); }},
      {"off screen", [](ScrollTest& t) { t.windows.byId[kTarget].set(WindowKey::IsOnscreen, false); }},
      {"no height", [](ScrollTest& t) { t.windows.byId[kTarget].set(WindowKey::Bounds, boundsDict({0, 0, 10, 0})); }},
      {"our own window", [](ScrollTest& t) { t.process.self = kOwner; }},
  };
  for (const auto& c : cases) {
    SetUp();
    c.change(*this);
    out.writes.clear();
    EXPECT_EQ(scroll(), 0) << c.what;
    EXPECT_EQ(lines(), std::vector<std::string>{invalid}) << c.what;
  }
}

TEST_F(ScrollTest, AsksForThePostingPermissionEachTime) {
  events.canPost = false;
  EXPECT_EQ(scroll(), 0);
  EXPECT_EQ(scroll(), 0);
  EXPECT_EQ(events.postRequests, 2);
  EXPECT_EQ(lines()[0], error("自动滚动需要系统设置 → 隐私与安全性 → 辅助功能授权 Quorvane/输入辅助程序，"
                              "然后重启应用；不需要读取输入监控。"));
  EXPECT_TRUE(apps.activated.empty());
}

TEST_F(ScrollTest, RefusesACoveredSelection) {
  const std::string covered = error("所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试");
  const struct {
    const char* what;
    std::function<void(ScrollTest&)> change;
  } cases[] = {
      {"another process hit", [](ScrollTest& t) { t.ax.hitPid = 555; }},
      {"no hit", [](ScrollTest& t) { t.ax.hitPid = std::nullopt; }},
      {"own sibling in front", [](ScrollTest& t) {
         t.windows.onScreen->insert(t.windows.onScreen->begin(), normalWindow(78, kOwner, {0, 0, 800, 800}));
       }},
      {"list unreadable", [](ScrollTest& t) { t.windows.onScreen = std::nullopt; }},
      {"pointer cannot move", [](ScrollTest& t) { t.events.canMove = false; }},
  };
  for (const auto& c : cases) {
    SetUp();
    c.change(*this);
    out.writes.clear();
    clock.slept = 0;
    EXPECT_EQ(scroll(), 0) << c.what;
    EXPECT_EQ(lines(), std::vector<std::string>{covered}) << c.what;
    EXPECT_DOUBLE_EQ(clock.slept, 0.4) << c.what;
  }
}

TEST_F(ScrollTest, StepsTurnTheWheelOverTheSelectionCentre) {
  commands.lines = {"step", "step", "stop"};
  events.pointer = Point{7, 8};
  EXPECT_EQ(scroll({"0.75", "0.25", "-0.5", "0.5"}), 0);  // flipped: 0.25..0.75 across
  EXPECT_EQ(lines(), readyThen({kStep, kStep}));
  ASSERT_EQ(events.wheels.size(), 2u);
  EXPECT_DOUBLE_EQ(events.wheels[0].at.x, centre.x);
  EXPECT_DOUBLE_EQ(events.wheels[0].at.y, centre.y);
  EXPECT_EQ(events.wheels[0].pixels, 90);  // 0.5 x 400 x 0.45
  EXPECT_EQ(events.wheels[0].target, kTarget);
  EXPECT_EQ(apps.activated, std::vector<std::int32_t>{kOwner});
  // Parked on the centre, then put back where the user had it.
  ASSERT_EQ(events.moves.size(), 2u);
  EXPECT_DOUBLE_EQ(events.moves[0].x, centre.x);
  EXPECT_DOUBLE_EQ(events.moves[1].x, 7);
  EXPECT_DOUBLE_EQ(events.moves[1].y, 8);
}

TEST(StepAmountTest, FortyFivePercentBoundedToOneTo500) {
  const struct {
    double selection, window;
    int pixels;
  } cases[] = {{0.5, 400, 90}, {0.001, 500, 1}, {1.0, 1200, 500}, {1.0, 1110, 499}, {0.01, 100, 1}, {0.1, 33, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(stepAmount(c.selection, c.window), c.pixels) << c.selection << " x " << c.window;
  }
}

TEST_F(ScrollTest, TheHundredAndFirstStepIsRefused) {
  for (int i = 0; i < 101; ++i) commands.lines.push_back("step");
  scroll();
  auto written = lines();
  ASSERT_EQ(written.size(), 102u);
  EXPECT_EQ(written[100], kStep);
  EXPECT_EQ(written[101], kStopped);
  EXPECT_EQ(events.wheels.size(), 100u);
}

TEST_F(ScrollTest, RunEndsAfter120Seconds) {
  commands.lines = {"step", "step"};
  commands.beforeRead = [this](int i) {
    if (i == 1) clock.time += 120;
  };
  scroll();
  EXPECT_EQ(lines(), readyThen({kStep, kStopped}));

  SetUp();
  out.writes.clear();
  commands.lines = {"stop"};
  commands.beforeRead = [this](int) { clock.time += 121; };
  scroll();
  EXPECT_EQ(lines(), readyThen({}));
}

TEST_F(ScrollTest, AnyChangeBeforeAStepStopsTheRun) {
  const struct {
    const char* what;
    std::function<void(ScrollTest&)> change;
    bool pointerBack;
  } cases[] = {
      {"moved half a point", [](ScrollTest& t) { t.windows.byId[kTarget].set(WindowKey::Bounds, boundsDict({100.5, 200, 400, 400})); }, true},
      {"resized", [](ScrollTest& t) { t.windows.byId[kTarget].set(WindowKey::Bounds, boundsDict({100, 200, 400, 401})); }, true},
      {"closed", [](ScrollTest& t) { t.windows.byId.clear(); }, true},
      {"number reused by another process", [](ScrollTest& t) { t.windows.byId[kTarget] = normalWindow(kTarget, 444, t.bounds); }, true},
      {"covered", [](ScrollTest& t) { t.ax.hitPid = 555; }, true},
      {"pointer 3 points away", [](ScrollTest& t) { t.events.pointer = Point{t.centre.x + 3, t.centre.y}; }, false},
      {"pointer unreadable", [](ScrollTest& t) { t.events.pointer = std::nullopt; }, false},
      {"target changed under the wheel", [](ScrollTest& t) { t.events.wheelResult = WheelResult::TargetChanged; }, true},
  };
  for (const auto& c : cases) {
    SetUp();
    out.writes.clear();
    events.pointer = Point{1, 2};
    commands.lines = {"step", "step"};
    commands.beforeRead = [&](int i) {
      if (i == 1) c.change(*this);
    };
    scroll();
    EXPECT_EQ(lines(), readyThen({kStep, kStopped})) << c.what;
    EXPECT_EQ(events.wheels.size(), 1u) << c.what;
    bool movedBack = events.moves.size() == 2 && events.moves[1].x == 1 && events.moves[1].y == 2;
    EXPECT_EQ(movedBack, c.pointerBack) << c.what;
  }
}

TEST_F(ScrollTest, PointerJustInsideTheToleranceStillSteps) {
  commands.lines = {"step", "step"};
  commands.beforeRead = [this](int i) {
    if (i == 1) events.pointer = Point{centre.x + 2.99, centre.y};
  };
  scroll();
  EXPECT_EQ(lines(), readyThen({kStep, kStep}));
}

TEST_F(ScrollTest, OtherLinesGetTheStopMessage) {
  for (std::string line : {"Step", "step ", "", "stop ", "STOP", "step\r"}) {
    SetUp();
    out.writes.clear();
    events.wheels.clear();
    commands.lines = {line};
    scroll();
    EXPECT_EQ(lines(), readyThen({kStopped})) << '"' << line << '"';
    EXPECT_TRUE(events.wheels.empty());
  }
}

TEST_F(ScrollTest, QuietEnds) {
  const struct {
    const char* what;
    std::function<void(ScrollTest&)> setUp;
  } cases[] = {
      {"stop", [](ScrollTest& t) { t.commands.lines = {"step", "stop"}; }},
      {"end of input", [](ScrollTest& t) { t.commands.lines = {"step"}; }},
      {"silence", [](ScrollTest& t) { t.commands.lines = {"step"}; t.commands.silentAtEnd = true; }},
      {"parent gone", [](ScrollTest& t) {
         t.commands.lines = {"step", "step"};
         t.commands.beforeWait = [&t](int n) { if (n == 2) t.process.parent = 1; };
       }},
  };
  for (const auto& c : cases) {
    SetUp();
    out.writes.clear();
    c.setUp(*this);
    EXPECT_EQ(scroll(), 0) << c.what;
    EXPECT_EQ(lines(), readyThen({kStep})) << c.what;
    EXPECT_EQ(events.moves.size(), 2u) << c.what;  // parked, then put back
  }
  for (int wait : commands.waits) EXPECT_EQ(wait, 10000);
}

TEST_F(ScrollTest, SilenceOrAWaitErrorBeforeTheFirstCommand) {
  commands.silentAtEnd = true;
  scroll();
  EXPECT_EQ(lines(), readyThen({}));
  commands.silentAtEnd = false;
  commands.waitError = true;
  out.writes.clear();
  scroll();
  EXPECT_EQ(lines(), readyThen({}));
}

TEST_F(ScrollTest, WheelEventThatCannotBeMadeEndsWithItsText) {
  commands.lines = {"step"};
  events.wheelResult = WheelResult::CannotCreate;
  scroll();
  EXPECT_EQ(lines(), readyThen({error("无法创建自动滚轮事件")}));
  EXPECT_EQ(events.moves.size(), 2u);
}

TEST_F(ScrollTest, PointerStaysWhenItsStartCouldNotBeRead) {
  events.pointer = std::nullopt;
  commands.lines = {"stop"};
  // Readable again once parked, as on a real display.
  scroll();
  EXPECT_EQ(lines(), readyThen({}));
  EXPECT_EQ(events.moves.size(), 1u);
}

}  // namespace
}  // namespace quorvane::input
