// quorvane-desktop as the application runs it: on a private X server with
// openbox and two monitors side by side, over a stand-in for desktop icons.
// Only what a real server shows is tested here; the rules are unit tested.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include <png.h>
#include <xcb/xcb.h>

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
    std::ofstream(dir_ + "/wall.png", std::ios::binary) << quarterPng();
    // The keyfile GSettings backend reads this file; no session bus is needed.
    std::system(("mkdir -p '" + dir_ + "/config/glib-2.0/settings'").c_str());
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile")
        << "[org/gnome/desktop/background]\npicture-uri='file://" << dir_
        << "/wall.png'\npicture-options='scaled'\nprimary-color='#00ff00'\n";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::unique_ptr<Child> startMask(const std::string& backend = "keyfile") {
    SpawnOptions o;
    o.env = {{"GSETTINGS_BACKEND", backend}, {"XDG_CONFIG_HOME", dir_ + "/config"}};
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, o);
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

TEST_F(DesktopMaskTest, CoversTheIconsWithTheWallpaperAsPlacedAndKeepsNormalWindowsAbove) {
  FakeApp app(session());
  ASSERT_TRUE(app.openWindow("x=1700 y=550 w=300 h=150 color=00ffff title=normal"));
  ASSERT_EQ(app.command("sync"), "ok");
  ASSERT_EQ(pixel(72, 72), kIcon);
  ASSERT_EQ(pixel(1280 + 72, 72), kIcon);

  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  // "scaled": 1280 x 640 from y 80, the fill colour above and below, red up to x 320.
  for (int left : {0, 1280}) {
    EXPECT_EQ(pixel(left + 72, 72), kGreen);
    EXPECT_EQ(pixel(left + 280, 400), kRed);
    EXPECT_EQ(pixel(left + 560, 400), kBlue);
  }
  EXPECT_EQ(pixel(1850, 620), kCyan);  // the normal window stays above
  mask->writeStdin("stop\n");
  EXPECT_EQ(mask->wait(10s), 0);
  EXPECT_EQ(mask->readAllStdout(), "");
  EXPECT_EQ(pixel(72, 72), kIcon);
}

TEST_F(DesktopMaskTest, SigtermEndsTheMaskQuietlyWhicheverGSettingsBackendRuns) {
  // Without a user choice (dconf here has none) the root pixmap a wallpaper
  // setter left is shown: dconf's worker thread must not take the signal.
  xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
  xcb_pixmap_t root = xcb_generate_id(conn_);
  xcb_create_pixmap(conn_, s->root_depth, root, s->root, 2560, 800);
  xcb_gcontext_t gc = xcb_generate_id(conn_);
  xcb_create_gc(conn_, gc, root, XCB_GC_FOREGROUND, &kBlue);
  xcb_rectangle_t all{0, 0, 2560, 800};
  xcb_poly_fill_rectangle(conn_, root, gc, 1, &all);
  const char name[] = "_XROOTPMAP_ID";
  auto* reply = xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, std::strlen(name), name), nullptr);
  xcb_atom_t rootAtom = reply->atom;
  free(reply);
  xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, s->root, rootAtom, XCB_ATOM_PIXMAP, 32, 1, &root);
  xcb_flush(conn_);

  for (const char* backend : {"keyfile", "dconf"}) {
    SCOPED_TRACE(backend);
    auto mask = startMask(backend);
    ASSERT_EQ(mask->readLine(20s), kReady);
    if (std::string(backend) == "dconf") {
      EXPECT_EQ(pixel(72, 72), kBlue);
    }
    mask->kill(SIGTERM);
    EXPECT_EQ(mask->wait(10s), 0);
    EXPECT_EQ(mask->readAllStdout(), "");
  }
  xcb_delete_property(conn_, s->root, rootAtom);
  xcb_free_pixmap(conn_, root);
  xcb_free_gc(conn_, gc);
  xcb_flush(conn_);
}

TEST_F(DesktopMaskTest, EndsWithinAWatchIntervalOfTheApplicationsDeath) {
  auto app = std::make_unique<FakeApp>(session());
  ASSERT_GT(app->run({"env", "GSETTINGS_BACKEND=keyfile", "XDG_CONFIG_HOME=" + dir_ + "/config",
                      binary("quorvane-desktop"), "--mask-desktop"}),
            0);
  ASSERT_EQ(app->stdoutLine(20s), kReady);
  auto killed = std::chrono::steady_clock::now();
  ::kill(app->pid(), SIGKILL);
  // Our end of its output closes once the orphaned helper is gone too.
  EXPECT_EQ(app->process().readAllStdout(10s), "");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count(), 1.0);
  // The server takes the covers down once it sees the connection closed; each
  // read is a round trip, so this waits on the server, a second at most.
  auto deadline = std::chrono::steady_clock::now() + 1s;
  while (pixel(72, 72) != kIcon && std::chrono::steady_clock::now() < deadline) {
  }
  EXPECT_EQ(pixel(72, 72), kIcon);
}

TEST_F(DesktopMaskTest, EndsWhenTheMonitorsOrTheWorkspaceChange) {
  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(run({"xrandr", "--setmonitor", "quorvane-extra", "640/169x400/106+0+0", "none"}).status, 0);
  EXPECT_EQ(mask->readLine(10s), errorLine("显示器配置已变化，已恢复桌面，请重新截图"));
  EXPECT_EQ(mask->wait(10s), 1);
  EXPECT_EQ(run({"xrandr", "--delmonitor", "quorvane-extra"}).status, 0);

  // Last: the window manager switches back to workspace 0 in its own time.
  FakeApp app(session());
  mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(app.command("desktop 1"), "ok");
  EXPECT_EQ(mask->readLine(10s), errorLine("桌面空间已变化，已恢复桌面，请重新截图"));
  EXPECT_EQ(mask->wait(10s), 1);
  ASSERT_EQ(app.command("desktop 0"), "ok");
  ASSERT_EQ(app.command("sync"), "ok");
}

}  // namespace
}  // namespace quorvane::test
