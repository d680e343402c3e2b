// quorvane-recording-screen in a Wayland session: on a headless sway, started
// by the test client, which shows a window of its own (the application's) under
// a floating window of another client. What only the real compositor shows:
// the frames' size and content, the application's window painted over, a
// change answering a request, and the ends. The rules are unit tested.
// Headless sway has no pointer device, so it draws no cursor to test.
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "common/wayland/connection.h"
#include "recording-screen/frame_record.h"
#include "tests/support/frames.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kOther = 0x00FF00, kCover = 0x404040;

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
    display_ = std::to_string(wayland::Connection::open()->outputs().at(0)->id);
    other_ = std::make_unique<Child>(
        std::vector<std::string>{binary("quorvane-wayland-client"), "--window", "test-other", "00FF00"}, options());
    ASSERT_EQ(other_->readLine(10s), "ready");
    // Read back until shown: sway gives no event for "laid out and drawn".
    auto until = std::chrono::steady_clock::now() + 5s;
    while (sway_->pixels({"640,360"}) != std::vector<std::string>{"00FF00"}) {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "the window was never shown";
      std::this_thread::sleep_for(20ms);
    }
  }
  static void TearDownTestSuite() {
    other_.reset();
    sway_.reset();
  }
  static SpawnOptions options() {
    SpawnOptions o;
    o.unsetEnv = {"DISPLAY"};
    return o;
  }
  // The streamer started by an application whose red window sway tiles over the output.
  static std::unique_ptr<Child> stream(SpawnOptions o = options()) {
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-wayland-client"), "--window", "app",
                                                            "FF0000", "--run", binary("quorvane-recording-screen"),
                                                            display_, "60"},
                                   o);
  }

  static inline std::unique_ptr<SwaySession> sway_;
  static inline std::unique_ptr<Child> other_;
  static inline std::string display_;
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
  EXPECT_EQ(sway_->pixels({"100,100"}), std::vector<std::string>{"FF0000"});  // what the screen shows there

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
