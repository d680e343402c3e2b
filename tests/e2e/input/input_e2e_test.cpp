// quorvane-input on a real X server with a window manager: the wiring of each
// mode, and what only the real system shows (window manager behaviour, XTEST
// delivery, the server or the window manager going away). Rules and error
// tables are unit-tested.
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

#include <X11/keysym.h>
#include <xcb/xtest.h>

#include "common/x11/connection.h"
#include "common/x11/windows.h"
#include "input/key_names.h"
#include "input/x11/keycodes.h"
#include "tests/support/eventually.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// X keycodes of a US keyboard on the evdev rules, as Xvfb has them.
enum Key : std::uint8_t { kEsc = 9, k9 = 18, kControl = 37, kShift = 50, kAlt = 64, kSuper = 133 };
const std::string kReady = R"({"type":"ready"})", kStep = R"({"type":"step"})";
std::string error(const std::string& text) { return json{{"type", "error"}, {"error", text}}.dump(); }
std::vector<std::string> input(std::vector<std::string> args) {
  args.insert(args.begin(), binary("quorvane-input"));
  return args;
}

// The test's own hands: a client that gives input as a user would.
class Hands {
 public:
  explicit Hands(const std::string& display) : c_(x11::Connection::open(display.c_str())) {}
  void chord(std::initializer_list<std::uint8_t> held, std::uint8_t code) {
    for (auto m : held) fake(XCB_KEY_PRESS, m);
    fake(XCB_KEY_PRESS, code);
    fake(XCB_KEY_RELEASE, code);
    for (auto it = std::rbegin(held); it != std::rend(held); ++it) fake(XCB_KEY_RELEASE, *it);
    x11::sync(*c_);
  }
  void button(std::uint8_t b) {
    fake(XCB_BUTTON_PRESS, b);
    fake(XCB_BUTTON_RELEASE, b);
    x11::sync(*c_);
  }
  void moveTo(int x, int y) {
    xcb_test_fake_input(c_->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, c_->root(), std::int16_t(x),
                        std::int16_t(y), 0);
    x11::sync(*c_);
  }
  std::pair<int, int> pointer() {
    auto p = x11::pointer(*c_);
    return p ? std::pair<int, int>(int(p->x), int(p->y)) : std::pair<int, int>(-1, -1);
  }
  x11::Connection& connection() { return *c_; }

 private:
  void fake(std::uint8_t type, std::uint8_t detail) {
    xcb_test_fake_input(c_->get(), type, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }
  std::unique_ptr<x11::Connection> c_;
};

class InputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    session_ = new XSession(XSessionOptions{.monitors = {"800x800+0+0", "480x800+800+0"}});
    session_->exportDisplay();
  }
  static void TearDownTestSuite() { delete session_; }
  void SetUp() override { hands_.moveTo(5, 5); }

  // quorvane-input started by the test itself (its parent is no application).
  static json ask(const std::vector<std::string>& args) {
    Result r = run(input(args));
    return r.status == 0 ? json::parse(r.out) : json();
  }
  static json bounds(std::uint32_t id) { return ask({"--window-info", std::to_string(id)}); }
  static std::vector<std::string> wheels(FakeApp& app) {
    app.command("sync");  // every event so far has been logged once the reply is in
    std::vector<std::string> found;
    for (const auto& l : app.logs_) if (l.rfind("wheel ", 0) == 0) found.push_back(l);
    return found;
  }
  // The next Message that is not a pointer sample.
  static std::optional<json> nextEvent(Child& c) {
    while (auto line = c.readLine(10s)) {
      if (json m = json::parse(*line); m["type"] != "pointer") return m;
    }
    return std::nullopt;
  }

  static XSession* session_;
  Hands hands_{session_->display()};
};

XSession* InputTest::session_ = nullptr;

TEST_F(InputTest, WindowQueriesSeeWhatTheWindowManagerShows) {
  FakeApp app(*session_), other(*session_);
  auto own = app.openWindow("w=400 h=300 class=Quorvane");
  auto back = other.openWindow("x=40 y=50 w=300 h=200 class=Backmost");
  auto clear = other.openWindow("x=80 y=90 w=100 h=100 class=Clear opacity=0");
  auto dock = other.openWindow("x=0 y=700 w=1280 h=40 class=Panel type=dock");
  auto bad = other.openWindow(std::string("w=120 h=120 class=Bad\xff" "Name"));  // no UTF-8: must not spoil the list
  auto front = other.openWindow("x=60 y=70 w=320 h=240 class=Frontmost");
  for (const auto& opened : {own, back, clear, dock, bad, front}) ASSERT_NE(opened, std::nullopt);
  const auto id = [](std::optional<std::uint32_t> w) { return std::to_string(*w); };
  const auto ids = [](const json& records) {
    std::vector<std::string> result;
    for (const auto& r : records) result.push_back(r["id"]);
    return result;
  };

  ASSERT_GT(app.run(input({"--capture-windows"})), 0);
  json records = json::parse(app.stdoutLine().value_or("null"));
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(ids(records), (std::vector<std::string>{id(front), id(bad), id(back)}));  // front to back, own left out
  EXPECT_EQ(records[0]["bounds"], bounds(*front));
  EXPECT_GT(records[0]["bounds"]["height"].get<double>(), 240);  // the window manager's title bar included
  EXPECT_EQ(ask({"--active-window"})["name"], "Frontmost");

  other.command("iconify " + id(back));
  other.command("todesktop " + id(bad) + " 2");
  EXPECT_TRUE(eventually([&] { return bounds(*back).is_null(); }));
  EXPECT_TRUE(eventually([&] { return bounds(*bad).is_null(); }));
  EXPECT_EQ(ids(ask({"--capture-windows"})), (std::vector<std::string>{id(front), id(own)}));
}

TEST_F(InputTest, FocusBringsAWindowFromBehindAnotherApplication) {
  FakeApp target(*session_), other(*session_), app(*session_);
  auto behind = target.openWindow("x=100 y=100 w=400 h=300 class=Target");
  ASSERT_NE(behind, std::nullopt);
  ASSERT_NE(other.openWindow("x=120 y=120 w=400 h=300 class=Cover"), std::nullopt);
  ASSERT_GT(app.run(input({"--focus-window", std::to_string(*behind)})), 0);
  EXPECT_EQ(app.stdoutLine(), R"({"focused":true})");
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(ask({"--active-window"})["id"], std::to_string(*behind));
}

TEST_F(InputTest, ScrollTurnsTheWheelOverTheTargetAndPutsThePointerBack) {
  FakeApp target(*session_), bystander(*session_), app(*session_);
  ASSERT_NE(bystander.openWindow("x=700 y=100 w=300 h=300 log=1 class=Bystander"), std::nullopt);
  auto id = target.openWindow("x=100 y=100 w=400 h=400 log=1 class=Scrolled");
  ASSERT_NE(id, std::nullopt);
  json frame = bounds(*id);
  ASSERT_GT(app.run(input({"--scroll", std::to_string(*id), "0.25", "0.5", "0.5", "0.25"})), 0);
  ASSERT_EQ(app.stdoutLine(), kReady);
  for (int i = 0; i < 2; ++i) {
    app.send("step\n");
    ASSERT_EQ(app.stdoutLine(), kStep);
  }
  const long cx = std::lround(frame["x"].get<double>() + 0.5 * frame["width"].get<double>());
  const long cy = std::lround(frame["y"].get<double>() + 0.625 * frame["height"].get<double>());
  const std::string wheel = "wheel " + std::to_string(*id) + " 5 " + std::to_string(cx) + " " + std::to_string(cy);
  EXPECT_EQ(wheels(target), (std::vector<std::string>{wheel, wheel}));
  EXPECT_EQ(wheels(bystander), std::vector<std::string>{});
  app.send("stop\n");
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(hands_.pointer(), std::make_pair(5, 5));
}

TEST_F(InputTest, ScrollRefusesASelectionUnderAnotherApplicationsWindowOnTop) {
  FakeApp target(*session_), cover(*session_), app(*session_);
  auto id = target.openWindow("x=100 y=100 w=400 h=400 log=1 class=Covered");
  ASSERT_NE(id, std::nullopt);
  ASSERT_NE(cover.openWindow("x=250 y=250 w=200 h=200 above=1 class=Overlay"), std::nullopt);
  ASSERT_GT(app.run(input({"--scroll", std::to_string(*id), "0.25", "0.25", "0.5", "0.5"})), 0);
  EXPECT_EQ(app.stdoutLine(), error("所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试"));
  EXPECT_EQ(app.waitHelper(), 0);
  EXPECT_EQ(wheels(target), std::vector<std::string>{});
}

TEST_F(InputTest, MonitorReportsClicksNamedShortcutsAndSamplesWithTheDisplaysFrame) {
  auto displays = x11::monitors(hands_.connection());
  ASSERT_EQ(displays.size(), 2u);
  Child mon(input({"screen", std::to_string(displays[displays[0].x == 800 ? 0 : 1].id)}));
  ASSERT_EQ(mon.readLine(15s), kReady);
  hands_.moveTo(900, 123);
  for (std::uint8_t b : {6, 1, 7}) hands_.button(b);  // wheel steps are not clicks
  hands_.chord({kControl, kShift}, k9);
  hands_.chord({kSuper, kShift}, k9);
  hands_.chord({kControl, kAlt}, kEsc);
  const json frame = json::parse(R"({"height":800,"width":480,"x":800,"y":0})");
  for (const json& e : {json{{"type", "click"}, {"x", 900}, {"y", 123}, {"bounds", frame}},
                        json{{"type", "shortcut"}, {"label", "Ctrl+Shift+9"}}, json{{"type", "zoom"}},
                        json{{"type", "shortcut"}, {"label", "Cmd+Shift+9"}}, json{{"type", "zoom"}},
                        json{{"type", "shortcut"}, {"label", "Ctrl+Alt+Esc"}}}) {
    EXPECT_EQ(nextEvent(mon), e);
  }
  EXPECT_EQ(json::parse(mon.readLine().value_or("null")),
            (json{{"type", "pointer"}, {"x", 900}, {"y", 123}, {"bounds", frame}}));
}

TEST_F(InputTest, MonitorOfAWindowEndsWhenItCloses) {
  FakeApp other(*session_);
  auto id = other.openWindow("x=30 y=40 w=320 h=240 class=Viewer");
  ASSERT_NE(id, std::nullopt);
  Child mon(input({"window", std::to_string(*id)}));
  ASSERT_EQ(mon.readLine(15s), kReady);
  EXPECT_EQ(json::parse(mon.readLine().value_or("null"))["bounds"], bounds(*id));
  other.command("close " + std::to_string(*id));
  EXPECT_EQ(nextEvent(mon), json::parse(error("录制窗口已关闭或无法取得窗口坐标")));
  EXPECT_EQ(mon.wait(10s), 1);
}

// Keys are named by position: each named keycode carries, in the server's own
// US keymap, the keysym its name says, and no two keycodes share a name.
TEST_F(InputTest, KeycodeTableAgreesWithTheServersKeymap) {
  const std::map<xcb_keysym_t, std::string> byKeysym = {
      {XK_minus, "Minus"}, {XK_equal, "Equal"}, {XK_bracketleft, "BracketLeft"}, {XK_bracketright, "BracketRight"},
      {XK_Return, "Enter"}, {XK_apostrophe, "Quote"}, {XK_semicolon, "Semicolon"}, {XK_backslash, "Backslash"},
      {XK_comma, "Comma"}, {XK_slash, "Slash"}, {XK_period, "Period"}, {XK_Tab, "Tab"}, {XK_space, "Space"},
      {XK_grave, "Backquote"}, {XK_BackSpace, "Backspace"}, {XK_Escape, "Esc"}, {XK_Left, "Left"},
      {XK_Right, "Right"}, {XK_Down, "Down"}, {XK_Up, "Up"}};
  auto nameOf = [&](xcb_keysym_t sym) -> std::string {
    if (sym >= XK_a && sym <= XK_z) return std::string(1, static_cast<char>('A' + (sym - XK_a)));
    if (sym >= XK_0 && sym <= XK_9) return std::string(1, static_cast<char>('0' + (sym - XK_0)));
    return byKeysym.count(sym) ? byKeysym.at(sym) : "";
  };
  xcb_connection_t* x = hands_.connection().get();
  const xcb_setup_t* setup = xcb_get_setup(x);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  x11::Reply<xcb_get_keyboard_mapping_reply_t> map(
      xcb_get_keyboard_mapping_reply(x, xcb_get_keyboard_mapping(x, setup->min_keycode, count), nullptr));
  ASSERT_NE(map, nullptr);
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
  const input::KeyNames names = input::buildNames();
  std::size_t named = 0;
  for (int i = 0; i < count; ++i) {
    auto code = input::x11::ansiKeyCode(setup->min_keycode + i);
    if (!code || !names.count(*code)) continue;
    ++named;
    EXPECT_EQ(names.at(*code), nameOf(syms[i * map->keysyms_per_keycode])) << "keycode " << setup->min_keycode + i;
  }
  EXPECT_EQ(named, names.size());
}

// Without a window manager the list is the mapped top-level windows; losing
// the server is the listening switched off.
TEST(InputWithoutWindowManager, ListsTheMappedTopLevelWindowsAndTheMonitorEndsWithTheServer) {
  XSessionOptions bare;
  bare.windowManager = false;
  XSession session(bare);
  session.exportDisplay();
  FakeApp other(session);
  auto shown = other.openWindow("x=10 y=20 w=200 h=100 class=Bare");
  ASSERT_NE(shown, std::nullopt);
  const std::string id = std::to_string(*shown);
  EXPECT_EQ(run(input({"--capture-windows"})).out,
            R"([{"bounds":{"height":100,"width":200,"x":10,"y":20},"id":")" + id + R"(","name":"Bare · )" + id +
                "\"}]\n");
  Child mon(input({"window", id}));
  ASSERT_EQ(mon.readLine(15s), kReady);
  ASSERT_EQ(kill(session.serverPid(), SIGTERM), 0);  // our own private server
  std::optional<std::string> last;
  while (auto line = mon.readLine(10s)) last = line;
  EXPECT_EQ(last, error("系统已暂停输入监控，录制将停止以避免遗漏所选效果"));
  EXPECT_EQ(mon.wait(10s), 3);
}

// The window manager dies before it acts on the activation: the helper answers
// that it could not focus, and ends.
TEST(InputWindowManagerKilled, FocusEndsWithItsFailureWhenTheWindowManagerDiesMeanwhile) {
  XSession session;
  session.exportDisplay();
  FakeApp target(session), other(session), app(session);
  auto behind = target.openWindow("x=100 y=100 w=400 h=300 class=Target");
  auto cover = other.openWindow("x=120 y=120 w=400 h=300 class=Cover");
  ASSERT_NE(behind, std::nullopt);
  ASSERT_NE(cover, std::nullopt);
  ASSERT_TRUE(eventually([&] {
    return run(input({"--active-window"})).out.find("\"" + std::to_string(*cover) + "\"") != std::string::npos;
  }));
  ASSERT_EQ(kill(session.windowManagerPid(), SIGSTOP), 0);  // the activation request waits, unread
  ASSERT_GT(app.run(input({"--focus-window", std::to_string(*behind)})), 0);
  ASSERT_EQ(kill(session.windowManagerPid(), SIGKILL), 0);
  EXPECT_EQ(app.stdoutLine(), R"({"error":"所选窗口未能切换到前台，录制尚未开始"})");
  EXPECT_EQ(app.waitHelper(5s), 1);
}

}  // namespace
}  // namespace quorvane::test
