// quorvane-recording-screen in a Wayland session: on a headless sway, started
// by this test process, which shows a window of its own (the application's)
// under a floating window of another client. What only the real compositor
// shows: the frames' size and content, the application's window painted over,
// a change answering a request, and the ends. The rules are unit tested.
// Headless sway has no pointer device, so it draws no cursor to test.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "common/wayland/connection.h"
#include "common/wayland/protocols/xdg-shell-client.h"
#include "common/wayland/shm.h"
#include "recording-screen/frame_record.h"
#include "tests/support/frames.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kOther = 0x00FF00, kApplication = 0xFF0000, kCover = 0x404040;

// Our own window, tiled over the output, shown while the suite runs.
struct ApplicationWindow {
  std::unique_ptr<wayland::Connection> c = wayland::Connection::open();
  wl_registry* registry = nullptr;
  xdg_wm_base* base = nullptr;
  wl_surface* surface = nullptr;
  xdg_surface* xs = nullptr;
  xdg_toplevel* top = nullptr;
  wl_callback* frame = nullptr;
  std::unique_ptr<wayland::ShmBuffer> buffer;
  std::uint32_t width = 400, height = 300;
  bool presented = false;

  ~ApplicationWindow() {
    if (frame) wl_callback_destroy(frame);
    buffer.reset();
    if (top) xdg_toplevel_destroy(top);
    if (xs) xdg_surface_destroy(xs);
    if (surface) wl_surface_destroy(surface);
    if (base) xdg_wm_base_destroy(base);
    if (registry) wl_registry_destroy(registry);
  }

  void show() {
    static const wl_registry_listener globals = {
        [](void* d, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
          if (std::string(interface) == xdg_wm_base_interface.name)
            static_cast<ApplicationWindow*>(d)->base =
                static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    registry = wl_display_get_registry(c->display());
    wl_registry_add_listener(registry, &globals, this);
    c->roundtrip();
    surface = wl_compositor_create_surface(c->compositor());
    xs = xdg_wm_base_get_xdg_surface(base, surface);
    top = xdg_surface_get_toplevel(xs);
    static const xdg_toplevel_listener sized = {
        [](void* d, xdg_toplevel*, std::int32_t w, std::int32_t h, wl_array*) {
          auto* self = static_cast<ApplicationWindow*>(d);
          if (w > 0 && h > 0) self->width = std::uint32_t(w), self->height = std::uint32_t(h);
        },
        [](void*, xdg_toplevel*) {}, nullptr, nullptr};
    xdg_toplevel_add_listener(top, &sized, this);
    static const xdg_surface_listener configured = {[](void* d, xdg_surface* xs, std::uint32_t serial) {
      auto* self = static_cast<ApplicationWindow*>(d);
      xdg_surface_ack_configure(xs, serial);
      self->buffer = wayland::ShmBuffer::create(self->c->shm(), self->width, self->height, self->width * 4,
                                                WL_SHM_FORMAT_XRGB8888);
      std::fill_n(reinterpret_cast<std::uint32_t*>(self->buffer->data()), self->width * self->height, kApplication);
      wl_surface_attach(self->surface, self->buffer->buffer(), 0, 0);
      static const wl_callback_listener shown = {[](void* d, wl_callback* cb, std::uint32_t) {
        auto* self = static_cast<ApplicationWindow*>(d);
        self->presented = true;
        wl_callback_destroy(cb);
        self->frame = nullptr;
      }};
      if (self->frame) wl_callback_destroy(self->frame);
      self->frame = wl_surface_frame(self->surface);
      wl_callback_add_listener(self->frame, &shown, self);
      wl_surface_commit(self->surface);
    }};
    xdg_surface_add_listener(xs, &configured, this);
    wl_surface_commit(surface);
    while (!presented && wl_display_dispatch(c->display()) >= 0) {}
  }
};

// Flat colours come back from JPEG within a few levels.
::testing::AssertionResult near(std::uint32_t got, std::uint32_t want) {
  if (test::near(got, want, 12)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << got << " is not " << want;
}

class RecordingOnSwayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sway_ = std::make_unique<SwaySession>();
    for (const auto& [name, value] : sway_->env()) setenv(name.c_str(), value.c_str(), 1);
    window_ = std::make_unique<ApplicationWindow>();
    window_->show();
    display_ = std::to_string(window_->c->outputs().at(0)->id);
    // sway lays windows out once their clients have answered: ours keeps answering.
    answering_ = std::thread([] { while (wl_display_dispatch(window_->c->display()) >= 0) {} });
    other_ = std::make_unique<Child>(
        std::vector<std::string>{binary("quorvane-wayland-client"), "--window", "test-other", "00FF00"}, options());
    ASSERT_EQ(other_->readLine(10s), "ready");
    const std::vector<std::string> points = {binary("quorvane-wayland-client"), "--pixels", "640,360", "100,100"};
    // Read back until shown: sway gives no event for "laid out and drawn".
    auto until = std::chrono::steady_clock::now() + 5s;
    while (run(points, "", options()).out != "00FF00\nFF0000\n") {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "the windows were never shown";
      std::this_thread::sleep_for(20ms);
    }
  }
  static void TearDownTestSuite() {
    other_.reset();
    sway_.reset();  // ends the answering thread
    if (answering_.joinable()) answering_.join();
    window_.reset();
  }
  static SpawnOptions options() {
    SpawnOptions o;
    o.unsetEnv = {"DISPLAY"};
    return o;
  }
  static std::unique_ptr<Child> stream(SpawnOptions o = options()) {
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-recording-screen"), display_, "60"}, o);
  }

  static inline std::unique_ptr<SwaySession> sway_;
  static inline std::unique_ptr<ApplicationWindow> window_;
  static inline std::unique_ptr<Child> other_;
  static inline std::string display_;
  static inline std::thread answering_;
};

// The other client's window floats 400 x 300 in the middle of the 1280 x 720
// output, over ours.
TEST_F(RecordingOnSwayTest, FramesShowTheOutputWithTheApplicationPaintedOverUntilStopped) {
  auto streamer = stream();
  auto first = readPicture(*streamer);
  ASSERT_TRUE(first) << streamer->readAllStderr(1s);
  EXPECT_EQ(first->width, 1280);
  EXPECT_EQ(first->height, 720);
  EXPECT_TRUE(near(first->at(640, 360), kOther));
  EXPECT_TRUE(near(first->at(100, 100), kCover));
  EXPECT_TRUE(near(first->at(640, 10), kCover));  // our title bar
  EXPECT_TRUE(near(first->at(1200, 650), kCover));

  // A request waits for a change; the place the window left is painted over too.
  streamer->writeStdin("frame\n");
  sway_->message({"[app_id=test-other] move position 0 0"});
  auto moved = readPicture(*streamer);
  ASSERT_TRUE(moved);
  EXPECT_TRUE(near(moved->at(200, 150), kOther));
  EXPECT_TRUE(near(moved->at(640, 360), kCover));

  streamer->writeStdin("stop\n");
  EXPECT_EQ(streamer->wait(5s), 0);
  recording::RecordReader rest;
  rest.feed(streamer->readAllStdout(1s));
  while (rest.next()) {}
  EXPECT_EQ(rest.pending(), 0u);
  EXPECT_FALSE(rest.badLength());
}

TEST_F(RecordingOnSwayTest, WithoutSwaysWindowTreeTheApplicationCannotBeLeftOut) {
  auto o = options();
  o.unsetEnv.push_back("SWAYSOCK");
  auto streamer = stream(o);
  EXPECT_EQ(streamer->wait(5s), 1);
  EXPECT_EQ(streamer->readAllStderr(1s), "无法排除 Quorvane 窗口，录制预览未启动");
}

TEST_F(RecordingOnSwayTest, AResizedOutputEndsTheStream) {
  auto streamer = stream();
  ASSERT_TRUE(readPicture(*streamer));
  sway_->message({"output", "HEADLESS-1", "mode", "1024x768"});
  EXPECT_EQ(streamer->wait(5s), 1);
  EXPECT_EQ(streamer->readAllStderr(1s), "录制显示器已断开");
}

// Last: the compositor does not come back.
TEST_F(RecordingOnSwayTest, TheCompositorGoneEndsTheStreamAsALostConnection) {
  auto streamer = stream();
  ASSERT_TRUE(readPicture(*streamer));
  sway_.reset();
  EXPECT_EQ(streamer->wait(5s), 1);
  EXPECT_EQ(streamer->readAllStderr(1s), "屏幕录制采集失败：the connection to the compositor was lost");
}

}  // namespace
}  // namespace quorvane::test
