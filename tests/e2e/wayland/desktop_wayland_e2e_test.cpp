// quorvane-desktop in a Wayland session: on a headless sway whose
// configuration names the wallpaper, over a background-layer stand-in for the
// desktop icons and under a normal window, with the screen read back through
// grim. The rules themselves are unit tested.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

#include <png.h>

#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

const std::string kIcons = "FF00FF", kWindow = "00FF00", kRed = "FF0000", kBlue = "0000FF";
const std::string kReady = R"({"type":"ready"})";

// 200 x 100, the left half red and the right half blue.
void writeHalvesPng(const std::string& path) {
  constexpr int w = 200, h = 100;
  std::vector<std::uint8_t> rgb(w * h * 3, 0);
  for (int i = 0; i < w * h; ++i) rgb[i * 3 + ((i % w) < w / 2 ? 0 : 2)] = 0xFF;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr));
}

class DesktopOnSwayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/quorvane-wayland-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    writeHalvesPng(dir_ + "/wall.png");
    SwayOptions options;
    options.outputs = {"1280x720", "1280x720"};  // alike: one drawing serves both covers
    options.config = {"output * bg " + dir_ + "/wall.png stretch"};
    sway_ = std::make_unique<SwaySession>(options);
    env_ = sway_->env();
    client_ = std::make_unique<Child>(
        std::vector<std::string>{binary("quorvane-wayland-client"), "--icons", kIcons, "--window", "test-win", kWindow},
        options_());
    auto line = client_->readLine(10s);
    ASSERT_EQ(line, "ready");
  }
  static void TearDownTestSuite() {
    client_.reset();
    sway_.reset();
    std::filesystem::remove_all(dir_);
  }

  // What a Wayland application gives its helpers; GSettings stays private and unset.
  static SpawnOptions options_() {
    SpawnOptions o;
    o.env = env_;
    o.env["GSETTINGS_BACKEND"] = "keyfile";
    o.env["XDG_CONFIG_HOME"] = dir_;
    o.unsetEnv = {"DISPLAY"};
    return o;
  }

  static std::unique_ptr<Child> startMask() {
    auto mask = std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"},
                                        options_());
    auto line = mask->readLine(5s);
    EXPECT_EQ(line, kReady) << mask->readAllStderr(1s);
    return mask;
  }

  static inline std::string dir_;
  static inline std::unique_ptr<SwaySession> sway_;
  static inline std::map<std::string, std::string> env_;
  static inline std::unique_ptr<Child> client_;
};

// Two 1280 x 720 outputs side by side; the window (floating, 400 x 300) sits
// in the middle of the first.
TEST_F(DesktopOnSwayTest, CoversTheIconsWithSwaysWallpaperBelowWindowsUntilStopped) {
  const std::vector<std::string> points = {"100,100", "1200,600", "640,360", "1380,100", "2480,600"};
  ASSERT_EQ(sway_->pixels(points), (std::vector<std::string>{kIcons, kIcons, kWindow, kIcons, kIcons}));
  auto mask = startMask();
  EXPECT_EQ(sway_->pixels(points), (std::vector<std::string>{kRed, kBlue, kWindow, kRed, kBlue}));
  mask->writeStdin("stop\n");
  EXPECT_EQ(mask->wait(5s), 0);
  EXPECT_EQ(mask->readAllStdout(1s), "");
  EXPECT_EQ(sway_->pixels(points), (std::vector<std::string>{kIcons, kIcons, kWindow, kIcons, kIcons}));
}

TEST_F(DesktopOnSwayTest, AnOutputAddedEndsTheMask) {
  auto mask = startMask();
  sway_->message({"create_output"});
  EXPECT_EQ(mask->readLine(5s),
            R"({"error":"显示器配置已变化，已恢复桌面，请重新截图","type":"error"})");
  EXPECT_EQ(mask->wait(5s), 1);
}

}  // namespace
}  // namespace quorvane::test
