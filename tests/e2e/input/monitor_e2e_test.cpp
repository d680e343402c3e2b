// The input monitor against a real X server: keys and clicks injected through
// XTEST, samples read from the helper's output as the application reads them.
#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "common/x11/connection.h"
#include "input/key_names.h"
#include "input/x11/keycodes.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using x11::Reply;

// X keycodes of a US keyboard on the evdev rules, as Xvfb has them.
enum Key : std::uint8_t {
  kEsc = 9, k9 = 18, kQ = 24, kE = 26, kH = 43, kL = 46, kO = 32, kA = 38, kControl = 37, kShift = 50,
  kAlt = 64, kSuper = 133, kF5 = 71, kKeypad9 = 81,
};

const char* const kFrameLost = "录制窗口已关闭或无法取得窗口坐标";
const char* const kCannotStart = "无法创建全局输入监控，请检查输入监控或辅助功能授权";
const char* const kListeningStopped = "系统已暂停输入监控，录制将停止以避免遗漏所选效果";

// Gone, or ended and waiting for its new parent to collect it.
bool ended(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, comm, state;
  if (!(stat >> pidText >> comm >> state)) return true;
  return state == "Z" || state == "X";
}

// The test's own hands: a client that injects input as a user would give it.
class Hands {
 public:
  explicit Hands(const XSession& session) : conn_(x11::Connection::open(session.display().c_str())) {
    if (!conn_) throw std::runtime_error("no X connection");
  }
  void key(std::uint8_t code, bool down) { fake(down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code); }
  // Holds the modifiers, taps the key, lets go in reverse order.
  void chord(std::initializer_list<std::uint8_t> modifiers, std::uint8_t code) {
    for (auto m : modifiers) key(m, true);
    key(code, true);
    key(code, false);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) key(*it, false);
    sync();
  }
  void type(std::initializer_list<std::uint8_t> codes) {
    for (auto c : codes) chord({}, c);
  }
  void button(std::uint8_t b) {
    fake(XCB_BUTTON_PRESS, b);
    fake(XCB_BUTTON_RELEASE, b);
    sync();
  }
  void moveTo(int x, int y) {
    xcb_test_fake_input(conn_->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, conn_->root(), static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    sync();
  }
  void sync() { free(xcb_get_input_focus_reply(conn_->get(), xcb_get_input_focus(conn_->get()), nullptr)); }
  x11::Connection& connection() { return *conn_; }

 private:
  void fake(std::uint8_t type, std::uint8_t detail) {
    xcb_test_fake_input(conn_->get(), type, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }
  std::unique_ptr<x11::Connection> conn_;
};

class InputMonitorTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    XSessionOptions options;
    options.monitors = {"800x800+0+0", "480x800+800+0"};
    session_ = new XSession(options);
  }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }

  std::unique_ptr<Child> monitor(const std::string& kind, std::uint32_t id) {
    SpawnOptions options;
    options.env["DISPLAY"] = session_->display();
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-input"), kind, std::to_string(id)},
                                   options);
  }

  // The next Message that is not a pointer sample; nothing on time-out or end of output.
  static std::optional<json> nextEvent(Child& c, std::chrono::milliseconds timeout = 10s) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      auto line = c.readLine(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
      if (!line) return std::nullopt;
      json m = json::parse(*line);
      if (m["type"] != "pointer") return m;
    }
    return std::nullopt;
  }
  static std::optional<json> nextSample(Child& c) {
    for (;;) {
      auto line = c.readLine(10s);
      if (!line) return std::nullopt;
      json m = json::parse(*line);
      if (m["type"] == "pointer") return m;
      ADD_FAILURE() << "unexpected " << *line;
    }
  }
  static bool ready(Child& c) { return c.readLine(15s) == std::optional<std::string>("{\"type\":\"ready\"}"); }

  json windowInfo(std::uint32_t id) {
    SpawnOptions options;
    options.env["DISPLAY"] = session_->display();
    Result r = run({binary("quorvane-input"), "--window-info", std::to_string(id)}, "", options);
    return r.status == 0 ? json::parse(r.out) : json();
  }

  static json shortcut(const char* label) { return json{{"type", "shortcut"}, {"label", label}}; }
  static json error(const char* text) { return json{{"type", "error"}, {"error", text}}; }

  static XSession* session_;
};

XSession* InputMonitorTest::session_ = nullptr;

TEST_F(InputMonitorTest, SamplesADisplayThirtyTimesASecond) {
  auto displays = x11::monitors(*x11::Connection::open(session_->display().c_str()));
  ASSERT_EQ(displays.size(), 2u);
  const auto& second = displays[0].x == 800 ? displays[0] : displays[1];
  auto mon = monitor("screen", second.id);
  ASSERT_TRUE(ready(*mon));
  Hands hands(*session_);
  hands.moveTo(900, 123);

  const json expectedBounds = json::parse(R"({"height":800,"width":480,"x":800,"y":0})");
  auto first = nextSample(*mon);
  ASSERT_TRUE(first);
  auto start = Clock::now();
  int samples = 0;
  std::optional<json> last;
  while (Clock::now() - start < 1500ms) {
    last = nextSample(*mon);
    ASSERT_TRUE(last);
    EXPECT_EQ((*last)["bounds"], expectedBounds);
    ++samples;
  }
  double perSecond = samples / std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(perSecond, 15);  // loose below: a loaded machine may stall the helper
  EXPECT_LT(perSecond, 40);  // tight above: samples come from the timer, not from a busy loop
  // The pointer is reported where it is, inside the display or not.
  EXPECT_EQ((*last)["x"], 900);
  EXPECT_EQ((*last)["y"], 123);
  hands.moveTo(10, 20);
  for (int i = 0; i < 100; ++i) {
    last = nextSample(*mon);
    ASSERT_TRUE(last);
    if ((*last)["x"] == 10) break;
  }
  EXPECT_EQ((*last)["x"], 10);
  EXPECT_EQ((*last)["y"], 20);
}

TEST_F(InputMonitorTest, ShortcutsAndZoomButNeverPlainTyping) {
  FakeApp other(*session_);
  auto id = other.openWindow("x=50 y=60 w=300 h=200 class=Editor");
  ASSERT_TRUE(id);
  auto mon = monitor("window", *id);
  ASSERT_TRUE(ready(*mon));
  Hands hands(*session_);

  hands.type({kH, kE, kL, kL, kO, k9});
  hands.chord({kShift}, kA);
  hands.chord({kShift}, k9);
  // A modifier let go before the key counts no more.
  hands.key(kControl, true);
  hands.key(kControl, false);
  hands.type({kA});
  // Keys without a name, whatever is held.
  hands.chord({kControl}, kF5);
  hands.chord({kControl, kShift}, kKeypad9);
  hands.chord({kControl, kShift}, k9);
  hands.chord({kSuper, kShift}, k9);
  hands.chord({kAlt, kShift}, k9);
  hands.type({kQ, kA});
  hands.chord({kControl, kAlt}, kEsc);

  const std::vector<json> expected = {shortcut("Ctrl+Shift+9"), json{{"type", "zoom"}},
                                      shortcut("Cmd+Shift+9"),  json{{"type", "zoom"}},
                                      shortcut("Alt+Shift+9"),  shortcut("Ctrl+Alt+Esc")};
  for (const auto& e : expected) {
    auto got = nextEvent(*mon);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, e);
  }
}

TEST_F(InputMonitorTest, KeysAreNamedByPositionWhateverTheKeysymsSay) {
  FakeApp other(*session_);
  auto id = other.openWindow("w=200 h=200");
  ASSERT_TRUE(id);
  auto mon = monitor("window", *id);
  ASSERT_TRUE(ready(*mon));
  Hands hands(*session_);
  xcb_connection_t* x = hands.connection().get();
  // Another client puts the letter x on the 9 key while the monitor runs.
  Reply<xcb_get_keyboard_mapping_reply_t> saved(
      xcb_get_keyboard_mapping_reply(x, xcb_get_keyboard_mapping(x, k9, 1), nullptr));
  ASSERT_TRUE(saved);
  const std::uint8_t perKey = saved->keysyms_per_keycode;
  std::vector<xcb_keysym_t> remapped(perKey, XK_x);
  xcb_change_keyboard_mapping(x, 1, k9, perKey, remapped.data());
  hands.sync();
  hands.chord({kControl, kShift}, k9);
  xcb_change_keyboard_mapping(x, 1, k9, perKey, xcb_get_keyboard_mapping_keysyms(saved.get()));
  hands.sync();
  auto got = nextEvent(*mon);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, shortcut("Ctrl+Shift+9"));
  EXPECT_EQ(nextEvent(*mon), (json{{"type", "zoom"}}));
}

// Without a window manager: its click-to-focus grab freezes the pointer for a
// moment, which lets key presses overtake button presses.
TEST(InputMonitorClicks, ButtonsClickWheelsDoNot) {
  XSessionOptions bare;
  bare.windowManager = false;
  XSession session(bare);
  FakeApp other(session);
  auto id = other.openWindow("x=100 y=100 w=400 h=300 class=Canvas");
  ASSERT_TRUE(id);
  SpawnOptions options;
  options.env["DISPLAY"] = session.display();
  Child mon({binary("quorvane-input"), "window", std::to_string(*id)}, options);
  ASSERT_EQ(mon.readLine(15s), std::optional<std::string>("{\"type\":\"ready\"}"));
  Hands hands(session);
  hands.moveTo(250, 260);
  for (std::uint8_t b : {1, 4, 3, 5, 2, 6, 7, 8}) hands.button(b);
  hands.chord({kControl, kShift}, k9);

  const json frame = json::parse(R"({"height":300,"width":400,"x":100,"y":100})");
  const json click = {{"type", "click"}, {"x", 250}, {"y", 260}, {"bounds", frame}};
  for (int i = 0; i < 4; ++i) {
    auto got = InputMonitorTest::nextEvent(mon);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, click) << i;
  }
  EXPECT_EQ(InputMonitorTest::nextEvent(mon), (json{{"type", "shortcut"}, {"label", "Ctrl+Shift+9"}}));
}

TEST_F(InputMonitorTest, FollowsTheWindowUntilItCloses) {
  FakeApp other(*session_);
  auto id = other.openWindow("x=30 y=40 w=320 h=240 class=Viewer");
  ASSERT_TRUE(id);
  auto mon = monitor("window", *id);
  ASSERT_TRUE(ready(*mon));
  auto sample = nextSample(*mon);
  ASSERT_TRUE(sample);
  EXPECT_EQ((*sample)["bounds"], windowInfo(*id));

  other.command("move " + std::to_string(*id) + " 400 300");
  other.command("sync");
  json moved;
  for (int i = 0; i < 300 && moved != windowInfo(*id); ++i) moved = (*nextSample(*mon))["bounds"];
  EXPECT_EQ(moved, windowInfo(*id));
  EXPECT_GE(moved["x"].get<double>(), 390);

  other.command("close " + std::to_string(*id));
  EXPECT_EQ(nextEvent(*mon), error(kFrameLost));
  EXPECT_EQ(mon->wait(10s), 1);
}

TEST_F(InputMonitorTest, SourcesThatCannotBeRecorded) {
  const struct {
    const char* kind;
    std::uint32_t id;
    bool ready;
    const char* text;
    int status;
  } cases[] = {
      {"window", 4294967295u, false, kCannotStart, 2},
      {"window", 1, false, kCannotStart, 2},
      {"screen", 1, true, kFrameLost, 1},
      {"screen", 0, true, kFrameLost, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.id));
    auto mon = monitor(c.kind, c.id);
    std::string out = mon->readAllStdout(15s);
    EXPECT_EQ(mon->wait(10s), c.status);
    std::string expected = (c.ready ? "{\"type\":\"ready\"}\n" : "") + error(c.text).dump() + "\n";
    EXPECT_EQ(out, expected);
  }
}

TEST_F(InputMonitorTest, EndsQuietlyOnceTheApplicationIsGone) {
  for (bool subreaper : {false, true}) {
    SCOPED_TRACE(subreaper ? "under a subreaper" : "adopted by init");
    // As a subreaper the test adopts the orphan itself, as systemd --user would.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, subreaper ? 1 : 0), 0);
    FakeApp app(*session_);
    FakeApp other(*session_);
    auto id = other.openWindow("w=200 h=100");
    ASSERT_TRUE(id);
    int pid = app.run({binary("quorvane-input"), "window", std::to_string(*id)});
    ASSERT_GT(pid, 0);
    ASSERT_EQ(app.stdoutLine(15s), std::optional<std::string>("{\"type\":\"ready\"}"));
    ASSERT_TRUE(app.stdoutLine());  // sampling

    app.process().kill(SIGKILL);
    ASSERT_TRUE(app.process().wait(10s));
    auto killed = Clock::now();
    std::string rest = app.process().readAllStdout(10s);
    // Whatever came out after the kill is samples only, and output ended.
    for (size_t at = 0, nl; (nl = rest.find('\n', at)) != std::string::npos; at = nl + 1) {
      EXPECT_EQ(json::parse(rest.substr(at, nl - at))["type"], "pointer");
    }
    EXPECT_LT(Clock::now() - killed, 5s);
    if (subreaper) {
      int status = -1;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
      // Output closes a moment before the process is done exiting.
      auto deadline = Clock::now() + 5s;
      while (!ended(pid) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
      EXPECT_TRUE(ended(pid));
    }
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 0), 0);
  }
}

TEST(InputMonitorWithoutX, CannotListenWithoutAServer) {
  SpawnOptions options;
  options.env["DISPLAY"] = ":65000";  // nothing listens there
  Result r = run({binary("quorvane-input"), "screen", "1"}, "", options);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, json({{"type", "error"},
                         {"error", "需要在系统设置的隐私与安全性 → 输入监控中授权 Quorvane/输入辅助程序，然后重启应用；不采集普通输入文字。"}})
                           .dump() + "\n");
}

// The pid of the X server at the other end of a connection (a local socket).
pid_t serverPid(x11::Connection& c) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(xcb_get_file_descriptor(c.get()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return -1;
  return peer.pid;
}

TEST(InputMonitorServerLoss, LosingTheServerIsTheListeningSwitchedOff) {
  XSessionOptions bare;
  bare.windowManager = false;
  XSession session(bare);
  auto displays = x11::monitors(*x11::Connection::open(session.display().c_str()));
  ASSERT_FALSE(displays.empty());
  SpawnOptions options;
  options.env["DISPLAY"] = session.display();
  Child mon({binary("quorvane-input"), "screen", std::to_string(displays[0].id)}, options);
  ASSERT_EQ(mon.readLine(15s), std::optional<std::string>("{\"type\":\"ready\"}"));
  ASSERT_TRUE(mon.readLine());
  Hands hands(session);
  const pid_t server = serverPid(hands.connection());
  ASSERT_GT(server, 1);
  // Our own private server: ending it is the system taking the input away.
  ASSERT_EQ(kill(server, SIGTERM), 0);
  std::optional<std::string> last;
  while (auto line = mon.readLine(10s)) last = line;
  ASSERT_TRUE(last);
  EXPECT_EQ(json::parse(*last), (json{{"type", "error"}, {"error", kListeningStopped}}));
  EXPECT_EQ(mon.wait(10s), 3);
}

// The keycode table checked against the server's own US keymap: each named
// key carries the keysym its name says.
TEST_F(InputMonitorTest, KeycodeTableAgreesWithTheServersKeymap) {
  const std::map<xcb_keysym_t, std::string> byKeysym = {
      {XK_minus, "Minus"},       {XK_equal, "Equal"},     {XK_bracketleft, "BracketLeft"},
      {XK_bracketright, "BracketRight"}, {XK_Return, "Enter"}, {XK_apostrophe, "Quote"},
      {XK_semicolon, "Semicolon"}, {XK_backslash, "Backslash"}, {XK_comma, "Comma"},
      {XK_slash, "Slash"},       {XK_period, "Period"},   {XK_Tab, "Tab"},
      {XK_space, "Space"},       {XK_grave, "Backquote"}, {XK_BackSpace, "Backspace"},
      {XK_Escape, "Esc"},        {XK_Left, "Left"},       {XK_Right, "Right"},
      {XK_Down, "Down"},         {XK_Up, "Up"}};
  auto expectedName = [&](xcb_keysym_t sym) -> std::string {
    if (sym >= XK_a && sym <= XK_z) return std::string(1, static_cast<char>('A' + (sym - XK_a)));
    if (sym >= XK_0 && sym <= XK_9) return std::string(1, static_cast<char>('0' + (sym - XK_0)));
    auto it = byKeysym.find(sym);
    return it == byKeysym.end() ? "" : it->second;
  };
  Hands hands(*session_);
  xcb_connection_t* x = hands.connection().get();
  const xcb_setup_t* setup = xcb_get_setup(x);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  Reply<xcb_get_keyboard_mapping_reply_t> map(
      xcb_get_keyboard_mapping_reply(x, xcb_get_keyboard_mapping(x, setup->min_keycode, count), nullptr));
  ASSERT_TRUE(map);
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
  const input::KeyNames names = input::buildNames();
  size_t named = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t keycode = setup->min_keycode + i;
    auto code = input::x11::ansiKeyCode(keycode);
    if (!code || !names.count(*code)) continue;
    ++named;
    EXPECT_EQ(names.at(*code), expectedName(syms[i * map->keysyms_per_keycode])) << "keycode " << keycode;
  }
  EXPECT_EQ(named, names.size());
}

}  // namespace
}  // namespace quorvane::test
