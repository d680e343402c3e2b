// quorvane-input in a Wayland session: on a headless sway with our test
// client's windows (each client its own application), and the input monitor
// on emulated input devices (umockdev: this binary runs itself again under
// its preload library, and every program it starts sees the same devices).
// The tree's mapping and the press rules are unit tested.
#include <chrono>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <memory>

#include <nlohmann/json.hpp>

#include "common/wayland/connection.h"
#include "input/evdev/emulated_input.h"
#include "tests/support/eventually.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;
using quorvane::input::evdev::testing::EmulatedDevice;
using quorvane::input::evdev::testing::EmulatedInput;

const std::string kReady = R"({"type":"ready"})";
std::string error(const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})"; }
const std::string kCovered = "所选窗口未在前台或选区被遮挡，请先显示目标窗口后重试";
const std::string kNeedsInputGroup =
    "需要读取输入设备的权限：请把当前用户加入 input 组（sudo usermod -aG input $USER），"
    "重新登录后重启应用；不采集普通输入文字。";

class InputOnSwayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sway_ = std::make_unique<SwaySession>(SwayOptions{.outputs = {"1280x720", "800x600"}, .config = {}});
    // Each client is an application of its own: a tiled window with sway's
    // title bar, and a floating one above it.
    back_ = window("tiled-back", "0000FF");
    front_ = window("test-front", "00FF00");
  }
  static void TearDownTestSuite() {
    front_.reset();
    back_.reset();
    sway_.reset();
  }

  static SpawnOptions options() {
    SpawnOptions o;
    o.env = sway_->env();
    o.unsetEnv = {"DISPLAY"};
    return o;
  }
  static std::unique_ptr<Child> window(const std::string& app, const std::string& colour) {
    auto client = std::make_unique<Child>(
        std::vector<std::string>{binary("quorvane-wayland-client"), "--window", app, colour}, options());
    EXPECT_EQ(client->readLine(10s), "ready");
    return client;
  }
  static Result input(const std::vector<std::string>& args) {
    std::vector<std::string> argv{binary("quorvane-input")};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, "", options());
  }
  static json tree() { return json::parse(sway_->message({"-t", "get_tree"})); }
  // The views of the tree with what sway says of them.
  static std::vector<json> views() {
    std::vector<json> found;
    std::function<void(const json&, const json&)> walk = [&](const json& node, const json& parent) {
      if (node.contains("pid")) found.push_back(json{{"node", node}, {"parent", parent}});
      for (const char* key : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(key, json::array())) walk(child, node);
      }
    };
    walk(tree(), json());
    return found;
  }
  static json view(const std::string& app) {
    for (auto& v : views()) {
      if (v["node"].value("app_id", "") == app) return v;
    }
    return json();
  }
  // A view's frame as quorvane-input reports it: its rectangle and its title bar.
  static json frame(const json& v) {
    const json& r = v["node"]["rect"];
    const json& d = v["node"]["deco_rect"];
    const json& p = v["parent"]["rect"];
    const bool titled = d["width"].get<int>() > 0 && d["height"].get<int>() > 0;
    const int top = titled ? std::min(r["y"].get<int>(), p["y"].get<int>() + d["y"].get<int>()) : r["y"].get<int>();
    const int bottom = r["y"].get<int>() + r["height"].get<int>();
    return json{{"x", r["x"]}, {"y", top}, {"width", r["width"]}, {"height", bottom - top}};
  }
  static std::string id(const json& v) { return std::to_string(v["node"]["id"].get<long>()); }
  static std::string idOf(const std::string& app) { return id(view(app)); }

  static inline std::unique_ptr<SwaySession> sway_;
  static inline std::unique_ptr<Child> back_, front_;
};

TEST_F(InputOnSwayTest, WindowQueriesAnswerFromSwaysTree) {
  sway_->message({"[app_id=test-front] focus"});
  auto list = input({"--capture-windows"});
  ASSERT_EQ(list.status, 0) << list.err;
  const json front = view("test-front"), back = view("tiled-back");
  ASSERT_GT(frame(back)["height"].get<int>(), back["node"]["rect"]["height"].get<int>());  // a title bar
  const json expected = json::array({
      json{{"id", id(front)}, {"name", "test-front · " + id(front)}, {"bounds", frame(front)}},
      json{{"id", id(back)}, {"name", "tiled-back · " + id(back)}, {"bounds", frame(back)}}});
  EXPECT_EQ(json::parse(list.out), expected);

  auto active = input({"--active-window"});
  EXPECT_EQ(std::tuple(json::parse(active.out), active.status),
            std::tuple(json{{"id", id(front)}, {"name", "test-front"}, {"bounds", frame(front)}}, 0));
  auto info = input({"--window-info", id(back)});
  EXPECT_EQ(std::tuple(json::parse(info.out), info.status), std::tuple(frame(back), 0));
  auto none = input({"--window-info", "4000000000"});
  EXPECT_EQ(std::tuple(none.out, none.status),
            std::tuple(error("目标窗口已关闭、最小化或无法读取坐标") + "\n", 1));
}

TEST_F(InputOnSwayTest, TheParentsOwnWindowsAreLeftOut) {
  Result r = run({binary("quorvane-wayland-client"), "--window", "test-own", "FF0000", "--run",
                  binary("quorvane-input"), "--capture-windows"},
                 "", options());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> names;
  for (const auto& record : json::parse(r.out)) names.push_back(record["name"].get<std::string>().substr(0, 10));
  EXPECT_EQ(names, (std::vector<std::string>{"test-front", "tiled-back"}));
}

TEST_F(InputOnSwayTest, FocusBringsTheWindowFrontAndRefusesOneNotShown) {
  sway_->message({"[app_id=test-front] focus"});
  auto focused = input({"--focus-window", idOf("tiled-back")});
  EXPECT_EQ(std::tuple(focused.out, focused.status), std::tuple(std::string(R"({"focused":true})") + "\n", 0));
  EXPECT_EQ(view("tiled-back")["node"]["focused"], true);

  // On a workspace not shown: closed, minimised or invalid, as on X11.
  sway_->message({"[app_id=tiled-back] move to workspace 9"});
  auto hidden = input({"--focus-window", idOf("tiled-back")});
  sway_->message({"[app_id=tiled-back] move to workspace 1"});
  EXPECT_EQ(std::tuple(hidden.out, hidden.status),
            std::tuple(std::string(R"({"error":"所选窗口已关闭、最小化或无效"})") + "\n", 1));
  EXPECT_EQ(view("tiled-back")["node"]["visible"], true);
}

TEST_F(InputOnSwayTest, ScrollTurnsTheWheelOverTheSelectionThroughAVirtualPointer) {
  Child target({binary("quorvane-wayland-client"), "--window", "test-scroll", "FFFF00", "--pointer"}, options());
  ASSERT_EQ(target.readLine(10s), "ready");
  const json v = view("test-scroll");
  const json where = frame(v);
  Child scroll({binary("quorvane-input"), "--scroll", id(v), "0.25", "0.5", "0.5", "0.25"}, options());
  ASSERT_EQ(scroll.readLine(10s), kReady);
  for (int i = 0; i < 2; ++i) {
    scroll.writeStdin("step\n");
    ASSERT_EQ(scroll.readLine(5s), R"({"type":"step"})");
  }
  // The selection's centre, in the window's own coordinates, then two notches down.
  const int x = where["width"].get<int>() / 2, y = where["height"].get<int>() * 5 / 8;
  EXPECT_EQ(target.readLine(5s), "enter test-scroll " + std::to_string(x) + " " + std::to_string(y));
  EXPECT_EQ(target.readLine(5s), "axis 0 15");
  EXPECT_EQ(target.readLine(5s), "axis 0 15");
  scroll.writeStdin("stop\n");
  EXPECT_EQ(scroll.wait(5s), 0);

  // A floating window over the selection of a tiled one: refused before the first step.
  auto refused = input({"--scroll", idOf("tiled-back"), "0.25", "0.25", "0.5", "0.5"});
  EXPECT_EQ(std::tuple(refused.out, refused.status),
            std::tuple(error(kCovered) + "\n", 0));
}

TEST_F(InputOnSwayTest, MonitorReportsShortcutsFromTheInputDevicesButNoClickWithoutThePointersPlace) {
  EmulatedInput devices;
  EXPECT_EQ(input({"--check"}).out, R"({"allowed":false})" "\n");
  auto refused = input({"window", idOf("test-front")});
  EXPECT_EQ(std::tuple(refused.out, refused.status),
            std::tuple(error(kNeedsInputGroup) + "\n", 2));
  const int keyboard = devices.add(EmulatedDevice::keyboard());
  const int mouse = devices.add(EmulatedDevice::mouse());
  EXPECT_EQ(input({"--check"}).out, R"({"allowed":true})" "\n");

  for (const auto& [name, value] : sway_->env()) setenv(name.c_str(), value.c_str(), 1);
  auto connection = quorvane::wayland::Connection::open();
  ASSERT_TRUE(connection);
  ASSERT_EQ(connection->outputs().size(), 2u);
  for (const auto& [source, id] : {std::pair{std::string("screen"), std::to_string(connection->outputs()[1]->id)},
                                   std::pair{std::string("window"), idOf("test-front")}}) {
    std::vector<std::string> argv{binary("quorvane-input"), source, id};
    Child monitor(argv, options());
    ASSERT_EQ(monitor.readLine(10s), kReady) << source;
    devices.key(mouse, BTN_LEFT, 1);  // where the pointer is no client can know: no click
    devices.key(mouse, BTN_LEFT, 0);
    devices.key(keyboard, KEY_A, 1);  // plain typing is never reported
    devices.key(keyboard, KEY_A, 0);
    for (auto key : {KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_9}) devices.key(keyboard, key, 1);
    for (auto key : {KEY_9, KEY_LEFTSHIFT, KEY_LEFTCTRL}) devices.key(keyboard, key, 0);
    EXPECT_EQ(monitor.readLine(5s), R"({"label":"Ctrl+Shift+9","type":"shortcut"})") << source;
    EXPECT_EQ(monitor.readLine(5s), R"({"type":"zoom"})") << source;
  }
}

}  // namespace
}  // namespace quorvane::test

int main(int argc, char** argv) {
  quorvane::input::evdev::testing::runUnderUmockdev(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
