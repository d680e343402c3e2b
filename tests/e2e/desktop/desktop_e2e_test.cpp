// quorvane-desktop as the application runs it: on a private X server with openbox and two monitors side
// by side, over a stand-in for desktop icons. Only what a real server shows is tested; the rules are unit tested.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

#include <png.h>
#include <xcb/xcb.h>

#include "tests/support/eventually.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kIcon = 0xFF00FF, kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kCyan = 0x00FFFF;
const std::string kReady = R"({"type":"ready"})";

XSession& session() { return sharedXSession({2560, 800, true, {"1280x800+0+0", "1280x800+1280+0"}}); }

class DesktopMaskTest : public ::testing::Test {
 protected:
  // The wallpaper, 200 x 100, its left quarter red and the rest blue, "scaled" over a green fill,
  // in the keyfile GSettings backend, which needs no session bus.
  static void SetUpTestSuite() {
    session().exportDisplay();
    conn_ = xcb_connect(nullptr, nullptr);
    char tmpl[] = "/tmp/quorvane-desktop-e2e-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::vector<std::uint8_t> rgb(200 * 100 * 3, 0);
    for (int i = 0; i < 200 * 100; ++i) rgb[i * 3 + (i % 200 < 50 ? 0 : 2)] = 0xFF;
    png_image image{};
    image.version = PNG_IMAGE_VERSION, image.width = 200, image.height = 100, image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, (dir_ + "/wall.png").c_str(), 0, rgb.data(), 0, nullptr));
    std::system(("mkdir -p '" + dir_ + "/config/glib-2.0/settings'").c_str());
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile") << "[org/gnome/desktop/background]\npicture-uri='file://"
        << dir_ << "/wall.png'\npicture-options='scaled'\nprimary-color='#00ff00'\n";
    icons_ = std::make_unique<FakeApp>(session());
    ASSERT_TRUE(icons_->openWindow("type=desktop icons=1 x=0 y=0 w=2560 h=800 color=203040 title=Desktop"));
  }
  static void TearDownTestSuite() {
    icons_.reset();
    xcb_disconnect(conn_);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  static std::unique_ptr<Child> startMask(const std::string& backend = "keyfile") {
    SpawnOptions o;
    o.env = {{"GSETTINGS_BACKEND", backend}, {"XDG_CONFIG_HOME", dir_ + "/config"}};
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, o);
  }
  static xcb_window_t root() { return xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root; }
  static std::uint32_t pixel(int x, int y) {
    auto cookie = xcb_get_image(conn_, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), x, y, 1, 1, ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> r(xcb_get_image_reply(conn_, cookie, nullptr), free);
    std::uint32_t p = 0;
    if (r && xcb_get_image_data_length(r.get()) >= 4) std::memcpy(&p, xcb_get_image_data(r.get()), 4);
    return p & 0xFFFFFF;
  }

  static inline std::string dir_;
  static inline xcb_connection_t* conn_ = nullptr;
  static inline std::unique_ptr<FakeApp> icons_;
};

TEST_F(DesktopMaskTest, SigtermEndsTheMaskQuietlyUnderDconfAndARootPixmapIsShownWithoutAUserChoice) {
  // dconf's worker thread must not take the signal.
  xcb_pixmap_t pixmap = xcb_generate_id(conn_), gc = xcb_generate_id(conn_);
  xcb_create_pixmap(conn_, 24, pixmap, root(), 2560, 800);
  xcb_create_gc(conn_, gc, pixmap, XCB_GC_FOREGROUND, &kBlue);
  xcb_rectangle_t all{0, 0, 2560, 800};
  xcb_poly_fill_rectangle(conn_, pixmap, gc, 1, &all);
  auto* atom = xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, 13, "_XROOTPMAP_ID"), nullptr);
  xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, root(), atom->atom, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
  xcb_flush(conn_);
  free(atom);
  auto mask = startMask("dconf");
  ASSERT_EQ(mask->readLine(20s), kReady);
  EXPECT_EQ(pixel(72, 72), kBlue);
  mask->kill(SIGTERM);
  EXPECT_EQ(mask->wait(10s), 0);
  EXPECT_EQ(mask->readAllStdout(), "");
}

TEST_F(DesktopMaskTest, EndsWithinAWatchIntervalOfTheApplicationsDeath) {
  auto app = std::make_unique<FakeApp>(session());
  ASSERT_GT(app->run({"env", "GSETTINGS_BACKEND=keyfile", "XDG_CONFIG_HOME=" + dir_ + "/config",
                      binary("quorvane-desktop"), "--mask-desktop"}), 0);
  ASSERT_EQ(app->stdoutLine(20s), kReady);
  auto killed = std::chrono::steady_clock::now();
  ::kill(app->pid(), SIGKILL);
  // Our end of its output closes once the orphaned helper is gone too.
  EXPECT_EQ(app->process().readAllStdout(10s), "");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count(), 1.0);
  EXPECT_TRUE(eventually([] { return pixel(72, 72) == kIcon; }));  // once the server sees the connection closed
}

TEST_F(DesktopMaskTest, EndsWhenTheMonitorsOrTheWorkspaceChange) {
  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(run({"xrandr", "--setmonitor", "quorvane-extra", "640/169x400/106+0+0", "none"}).status, 0);
  EXPECT_EQ(mask->readLine(10s),
            R"({"error":"显示器配置已变化，已恢复桌面，请重新截图","type":"error"})");
  EXPECT_EQ(mask->wait(10s), 1);
  EXPECT_EQ(run({"xrandr", "--delmonitor", "quorvane-extra"}).status, 0);
  // The window manager switches back to workspace 0 in its own time.
  FakeApp app(session());
  mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  ASSERT_EQ(app.command("desktop 1"), "ok");
  EXPECT_EQ(mask->readLine(10s),
            R"({"error":"桌面空间已变化，已恢复桌面，请重新截图","type":"error"})");
  EXPECT_EQ(mask->wait(10s), 1);
  ASSERT_EQ(app.command("desktop 0"), "ok");
  ASSERT_EQ(app.command("sync"), "ok");
}

// Last: it kills the window manager. Once the server has handed the managed windows back to the root window
// the covers are still up, and the mask still stops quietly.
TEST_F(DesktopMaskTest, CoversTheIconsAsPlacedBelowNormalWindowsEvenAfterTheWindowManagerDies) {
  FakeApp app(session());
  auto normal = app.openWindow("x=1700 y=550 w=300 h=150 color=00ffff title=normal");
  ASSERT_TRUE(normal);
  ASSERT_EQ(app.command("sync"), "ok");
  ASSERT_EQ(std::pair(pixel(72, 72), pixel(1280 + 72, 72)), std::pair(kIcon, kIcon));
  auto mask = startMask();
  ASSERT_EQ(mask->readLine(20s), kReady);
  EXPECT_EQ(pixel(1850, 620), kCyan);
  ASSERT_EQ(::kill(session().windowManagerPid(), SIGKILL), 0);
  ASSERT_TRUE(eventually([&] {
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
        xcb_query_tree_reply(conn_, xcb_query_tree(conn_, *normal), nullptr), free);
    return tree && tree->parent == root();
  }));
  // "scaled": 1280 x 640 from y 80, the fill colour above and below, red up to x 320.
  for (int x : {0, 1280}) {
    EXPECT_EQ(std::tuple(pixel(x + 72, 72), pixel(x + 280, 400), pixel(x + 560, 400)), std::tuple(kGreen, kRed, kBlue));
  }
  mask->writeStdin("stop\n");
  EXPECT_EQ(mask->wait(10s), 0);
  EXPECT_EQ(mask->readAllStdout(), "");
  EXPECT_TRUE(eventually([] { return pixel(72, 72) == kIcon; }));
}

}  // namespace
}  // namespace quorvane::test
