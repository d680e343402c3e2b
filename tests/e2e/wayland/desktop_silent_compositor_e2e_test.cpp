// quorvane-desktop against a compositor that answers its first two round trips
// (globals, output) and then nothing more, keeping the connection open
// (tests/support/fake_compositor.h).
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include "tests/support/fake_compositor.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DesktopOnASilentCompositorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quorvane-silent-compositor-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::vector<std::uint8_t> red(64 * 32 * 3, 0);
    for (std::size_t i = 0; i < red.size(); i += 3) red[i] = 0xFF;
    png_image image{};
    image.version = PNG_IMAGE_VERSION, image.width = 64, image.height = 32, image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, (dir_ + "/wall.png").c_str(), 0, red.data(), 0, nullptr));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The mask as a Wayland application starts it, on a compositor of its own; the wallpaper is a GSettings
  // choice, or with `askSway` what sway's IPC there would say.
  std::unique_ptr<Child> startMask(bool askSway = false) {
    compositor_.reset();
    FakeCompositorOptions silent;
    silent.answerSyncs = 2, silent.desktop = true, silent.holdConfig = askSway;
    compositor_ = std::make_unique<FakeCompositor>(silent);
    std::filesystem::create_directories(dir_ + "/config/glib-2.0/settings");
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile")
        << (askSway ? "" : "[org/gnome/desktop/background]\npicture-uri='file://" + dir_ + "/wall.png'");
    SpawnOptions o;
    o.env = compositor_->env(), o.unsetEnv = {"DISPLAY", "WAYLAND_SOCKET"};
    if (!askSway) o.env.erase("SWAYSOCK"), o.unsetEnv.push_back("SWAYSOCK");
    o.env.insert({{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", dir_ + "/config"}});
    started_ = Clock::now();
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, o);
  }

  std::string dir_;
  std::unique_ptr<FakeCompositor> compositor_;
  Clock::time_point started_;
};

TEST_F(DesktopOnASilentCompositorTest, StopAndSigtermEndTheMaskAtOnceAndTheTimeLimitStillHolds) {
  for (int signal : {0, SIGTERM}) {
    auto mask = startMask();
    ASSERT_TRUE(compositor_->await("silent"));
    signal ? mask->kill(signal) : mask->writeStdin("stop\n");
    // Ended, and well before the 10 s limit (a wait without a deadline never ends).
    EXPECT_EQ(mask->wait(5s), 0) << signal;
    EXPECT_EQ(mask->readAllStdout(1s), "") << signal;
  }
  auto mask = startMask();
  EXPECT_EQ(mask->readLine(15s), R"({"error":"桌面遮蔽超过 10 秒，已自动恢复","type":"error"})");
  const double took = std::chrono::duration<double>(Clock::now() - started_).count();
  EXPECT_EQ(mask->wait(5s), 1) << mask->readAllStderr(1s);
  EXPECT_EQ((std::pair{took > 9.9, took < 12.0}), std::pair(true, true)) << took;
}

// sway's IPC holds the mask's question for its wallpaper while the test sends SIGTERM.
TEST_F(DesktopOnASilentCompositorTest, SigtermWhileTheWallpaperIsReadEndsTheMaskQuietly) {
  auto mask = startMask(true);
  ASSERT_TRUE(compositor_->await("config held"));
  mask->kill(SIGTERM);
  EXPECT_EQ(mask->wait(5s), 0);
  EXPECT_EQ(mask->readAllStdout(1s), "");
}

}  // namespace
}  // namespace quorvane::test
