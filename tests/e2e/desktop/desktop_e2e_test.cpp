// quorvane-desktop as the application runs it: on a private X server with
// openbox and two monitors side by side, over a stand-in for desktop icons.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>
#include <xcb/xcb.h>
#include <zlib.h>

#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kIcon = 0xFF00FF;
constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kCyan = 0x00FFFF;
const std::string kReady = R"({"type":"ready"})";

std::string errorLine(const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})"; }

XSession& session() {
  XSessionOptions options;
  options.width = 2560;
  options.height = 800;
  options.monitors = {"1280x800+0+0", "1280x800+1280+0"};
  return sharedXSession(options);
}

// 200 x 100: the left quarter red, the rest blue, so that each placement puts
// the border somewhere else on a 1280 x 800 monitor.
std::string quarterPng() {
  constexpr int w = 200, h = 100;
  std::vector<std::uint8_t> rgb(w * h * 3);
  for (int i = 0; i < w * h; ++i) {
    std::uint32_t c = (i % w) < w / 4 ? kRed : kBlue;
    rgb[i * 3] = c >> 16;
    rgb[i * 3 + 1] = (c >> 8) & 0xFF;
    rgb[i * 3 + 2] = c & 0xFF;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
  std::string bytes(size, '\0');
  png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr);
  bytes.resize(size);
  return bytes;
}

// A grey JPEG of the given size, written a row at a time so that a huge one
// costs little memory.
std::string greyJpeg(int w, int h) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 30, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(w, 128);
  JSAMPROW rows[1] = {row.data()};
  while (cinfo.next_scanline < cinfo.image_height) jpeg_write_scanlines(&cinfo, rows, 1);
  jpeg_finish_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&cinfo);
  free(out);
  return bytes;
}

class DesktopMaskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    session().exportDisplay();
    conn_ = xcb_connect(nullptr, nullptr);
    icons_ = std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop-icons")});
    auto line = icons_->readLine(20s);
    ASSERT_TRUE(line && line->rfind("ready ", 0) == 0) << (line ? *line : "no line");
  }
  static void TearDownTestSuite() {
    icons_.reset();
    xcb_disconnect(conn_);
  }

  void SetUp() override {
    char tmpl[] = "/tmp/quorvane-desktop-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    write("wall.png", quarterPng());
    setBackground("file://" + dir_ + "/wall.png", "zoom");
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    return dir_ + "/" + name;
  }
  // The keyfile GSettings backend reads this file; no session bus is needed.
  void setBackground(const std::string& uri, const std::string& options, const std::string& color = "#00ff00") {
    std::system(("mkdir -p '" + dir_ + "/config/glib-2.0/settings'").c_str());
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile")
        << "[org/gnome/desktop/background]\npicture-uri='" << uri << "'\npicture-options='" << options
        << "'\nprimary-color='" << color << "'\n";
  }
  SpawnOptions env() const {
    SpawnOptions o;
    o.env = {{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", dir_ + "/config"}};
    return o;
  }
  std::unique_ptr<Child> startMask() {
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, env());
  }
  static std::uint32_t pixel(int x, int y) {
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    auto* r = xcb_get_image_reply(
        conn_, xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, x, y, 1, 1, ~0u), nullptr);
    std::uint32_t p = 0;
    if (r && xcb_get_image_data_length(r) >= 4) p = *reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(r));
    free(r);
    return p & 0xFFFFFF;
  }

  std::string dir_;
  static inline xcb_connection_t* conn_ = nullptr;
  static inline std::unique_ptr<Child> icons_;
};

TEST_F(DesktopMaskTest, SelfTestAndCommandLine) {
  Result self = run({binary("quorvane-desktop"), "--self-test"});
  EXPECT_EQ(self.status, 0);
  EXPECT_EQ(self.out,
            R"({"aboveDesktopIcons":true,"belowNormalWindows":true,"fill":{"height":100,"width":200,"x":-50,"y":0},)"
            R"("fit":{"height":50,"width":100,"x":0,"y":25},"maxLifetimeSeconds":10})"
            "\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--MASK-DESKTOP"}, {"--mask-desktop", "--self-test"}, {"--self-test", "x"}}) {
    std::vector<std::string> argv{binary("quorvane-desktop")};
    argv.insert(argv.end(), args.begin(), args.end());
    Result r = run(argv);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, errorLine("无效的桌面遮蔽模式") + "\n");
  }
}

TEST_F(DesktopMaskTest, CoversTheIconsWithTheWallpaperAsPlacedAndKeepsNormalWindowsAbove) {
  FakeApp app(session());
  ASSERT_TRUE(app.openWindow("x=1700 y=550 w=300 h=150 color=00ffff title=normal"));
  ASSERT_EQ(app.command("sync"), "ok");
  // Before: icons show at the top-left of each monitor, the normal window above.
  ASSERT_EQ(pixel(72, 72), kIcon);
  ASSERT_EQ(pixel(1280 + 72, 72), kIcon);
  ASSERT_EQ(pixel(1850, 620), kCyan);

  // Where a few points land in the 200 x 100 picture tells the placements apart.
  const struct {
    const char* options;
    std::uint32_t atIcon, at280, at560;
  } cases[] = {
      {"zoom", kRed, kBlue, kBlue},          // 1600 x 800 from x -160: red up to x 240
      {"scaled", kGreen, kRed, kBlue},       // 1280 x 640 from y 80: fill above, red up to x 320
      {"stretched", kRed, kRed, kBlue},      // 1280 x 800: red up to x 320
      {"centered", kGreen, kGreen, kRed},    // 200 x 100 from (540, 350), fill around it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    setBackground("file://" + dir_ + "/wall.png", c.options);
    auto mask = startMask();
    ASSERT_EQ(mask->readLine(20s), kReady);
    for (int left : {0, 1280}) {
      EXPECT_EQ(pixel(left + 72, 72), c.atIcon);
      EXPECT_EQ(pixel(left + 280, 400), c.at280);
      EXPECT_EQ(pixel(left + 560, 400), c.at560);
    }
    EXPECT_EQ(pixel(1850, 620), kCyan);  // the normal window stays above
    mask->writeStdin("stop\n");
    EXPECT_EQ(mask->wait(10s), 0);
    EXPECT_EQ(mask->readAllStdout(), "");
  }
  // After: the icons are back.
  EXPECT_EQ(pixel(72, 72), kIcon);
  EXPECT_EQ(pixel(1850, 620), kCyan);
}

TEST_F(DesktopMaskTest, EndsOnEachBadChunkWithItsText) {
  const std::string cases[] = {"stop", "stop\r\n", "stop\nmore", "stop\n" + std::string(96, 'x'),
                               std::string("\xff\xfe\n", 3)};
  for (const auto& chunk : cases) {
    SCOPED_TRACE(testing::PrintToString(chunk));
    auto mask = startMask();
    ASSERT_EQ(mask->readLine(20s), kReady);
    mask->writeStdin(chunk);
    EXPECT_EQ(mask->readLine(10s), errorLine("无效的桌面遮蔽控制消息"));
    EXPECT_EQ(mask->wait(10s), 1);
  }
}

TEST_F(DesktopMaskTest, EndsQuietlyOnEndOfInputAndOnSigterm) {
  Result closed = run({binary("quorvane-desktop"), "--mask-desktop"}, "", env());
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.out, "");

  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  mask->kill(SIGTERM);
  EXPECT_EQ(mask->wait(10s), 0);
  EXPECT_EQ(mask->readAllStdout(), "");
}

TEST_F(DesktopMaskTest, EndsWithinAWatchIntervalOfTheApplicationsDeath) {
  auto app = std::make_unique<FakeApp>(session());
  SpawnOptions e = env();
  ASSERT_GT(app->run({"env", "GSETTINGS_BACKEND=keyfile", "XDG_CONFIG_HOME=" + dir_ + "/config",
                      binary("quorvane-desktop"), "--mask-desktop"}),
            0);
  ASSERT_EQ(app->stdoutLine(20s), kReady);
  auto killed = std::chrono::steady_clock::now();
  ::kill(app->pid(), SIGKILL);
  // Our end of its output closes once the orphaned helper is gone too.
  EXPECT_EQ(app->process().readAllStdout(10s), "");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(pixel(72, 72), kIcon);
}

TEST_F(DesktopMaskTest, EndsWhenTheWorkspaceChanges) {
  FakeApp app(session());
  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(app.command("desktop 1"), "ok");
  EXPECT_EQ(mask->readLine(10s), errorLine("桌面空间已变化，已恢复桌面，请重新截图"));
  EXPECT_EQ(mask->wait(10s), 1);
  ASSERT_EQ(app.command("desktop 0"), "ok");
  ASSERT_EQ(app.command("sync"), "ok");
}

TEST_F(DesktopMaskTest, EndsWhenTheMonitorsChange) {
  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(run({"xrandr", "--setmonitor", "quorvane-extra", "640/169x400/106+0+0", "none"}).status, 0);
  EXPECT_EQ(mask->readLine(10s), errorLine("显示器配置已变化，已恢复桌面，请重新截图"));
  EXPECT_EQ(mask->wait(10s), 1);
  EXPECT_EQ(run({"xrandr", "--delmonitor", "quorvane-extra"}).status, 0);
}

TEST_F(DesktopMaskTest, RefusesWallpapersItCannotShowBeforeShowingAnything) {
  write("truncated.png", quarterPng().substr(0, 60));
  write("notes.txt", "not a picture");
  std::string huge = write("huge.jpg", greyJpeg(12000, 8000));  // 96 million pixels, twice
  const struct {
    std::string uri, options, text;
  } cases[] = {
      {"file://" + dir_ + "/missing.png", "zoom", "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试"},
      {"https://example.invalid/wall.png", "zoom", "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试"},
      {"file://" + dir_ + "/truncated.png", "zoom", "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试"},
      {"file://" + dir_ + "/notes.txt", "zoom", "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试"},
      {"file://" + dir_, "zoom", "当前壁纸无法读取为静态图像，请关闭隐藏桌面图标后重试"},
      {"file://" + huge, "zoom", "壁纸图像总计超过 1.6 亿像素，请关闭隐藏桌面图标后重试"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uri);
    setBackground(c.uri, c.options);
    auto mask = startMask();
    EXPECT_EQ(mask->readLine(20s), errorLine(c.text));
    EXPECT_EQ(mask->wait(20s), 1);
    EXPECT_EQ(pixel(72, 72), kIcon);
  }
}

TEST_F(DesktopMaskTest, TimesOutAfterTenSeconds) {
  auto mask = startMask();
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(mask->readLine(20s), kReady);
  EXPECT_EQ(mask->readLine(30s), errorLine("桌面遮蔽超过 10 秒，已自动恢复"));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(mask->wait(10s), 1);
  EXPECT_GE(seconds, 9.9);
  EXPECT_LT(seconds, 11.5);
}

}  // namespace
}  // namespace quorvane::test
