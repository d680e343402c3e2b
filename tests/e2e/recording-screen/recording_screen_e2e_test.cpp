// The streamer as the application runs it, on private X servers: a child of the
// fake application, or of the test where it must hold the output or kill the server.
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "common/x11/connection.h"
#include "tests/support/fake_app.h"
#include "tests/support/frames.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
constexpr int kMonitorWidth = 640, kMonitorHeight = 480;
const char kHelper[] = "quorvane-recording-screen";
constexpr std::uint32_t kAppRed = 0xFF0000, kOtherGreen = 0x00FF00, kMagenta = 0xFF00FF;

XSession& session() {
  auto& s = sharedXSession({2 * kMonitorWidth, kMonitorHeight, true, {"640x480+0+0", "640x480+640+0"}});
  s.exportDisplay();
  return s;
}

// The display id of the monitor whose left edge is at x.
std::string monitorAt(const std::string& display, int x) {
  for (const auto& m : x11::monitors(*x11::Connection::open(display.c_str()))) {
    if (m.x == x) return std::to_string(m.id);
  }
  return "none";
}

bool near(std::uint32_t got, std::uint32_t want) { return test::near(got, want, 50); }

// Pixels of the square at (x0, y0) that are (or are not) near the colour.
int countNear(const Picture& p, std::uint32_t colour, int x0, int y0, int w, int h, bool wanted = true) {
  int n = 0;
  for (int i = 0; i < w * h; ++i) n += near(p.at(x0 + i % w, y0 + i / w), colour) == wanted;
  return n;
}

// New content where no window lies: the root's background, painted again.
void paintRoot(const x11::Connection& c, std::uint32_t rgb) {
  xcb_change_window_attributes(c.get(), c.root(), XCB_CW_BACK_PIXEL, &rgb);
  xcb_clear_area(c.get(), 0, c.root(), 0, 0, 0, 0);
  xcb_flush(c.get());
}

long residentPages(int pid) {
  long size = 0, resident = -1;
  std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> size >> resident;
  return resident;
}

// The application's windows are left out and the cursor drawn unless hidden;
// a stop ends the helper quietly, and so does the application's death.
TEST(RecordingScreen, FramesLeaveTheApplicationOutAndEndWithIt) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // orphans come to us, so a helper's status can be read
  FakeApp app(session());
  FakeApp other(session());
  ASSERT_TRUE(other.openWindow("color=00ff00 x=900 y=120 w=240 h=200"));  // on the right monitor,
  ASSERT_TRUE(app.openWindow("color=ff0000 x=820 y=60 w=200 h=180"));    // partly covered by the application
  ASSERT_TRUE(app.openWindow("color=ff0000 x=100 y=100 w=100 h=100"));  // on the other monitor
  auto c = x11::Connection::open(session().display().c_str());
  xcb_warp_pointer(c->get(), XCB_NONE, c->root(), 0, 0, 0, 0, 1100, 250);  // over the green window
  free(xcb_get_input_focus_reply(c->get(), xcb_get_input_focus(c->get()), nullptr));
  for (bool hidden : {true, false}) {
    std::vector<std::string> argv{binary(kHelper), monitorAt(session().display(), 640), "30"};
    if (hidden) argv.push_back("hidden");
    int helper = app.run(argv);
    ASSERT_GT(helper, 0);
    auto picture = readPicture(app.process());  // unasked, and nothing before it
    ASSERT_TRUE(picture) << hidden;
    EXPECT_EQ(std::tie(picture->width, picture->height), std::tie(kMonitorWidth, kMonitorHeight));
    EXPECT_EQ(countNear(*picture, kAppRed, 0, 0, kMonitorWidth, kMonitorHeight), 0);
    EXPECT_TRUE(near(picture->at(920 - 640, 200), kOtherGreen));  // where the red window lay over it
    const int cursor = countNear(*picture, kOtherGreen, 1090 - 640, 240, 24, 24, false);
    EXPECT_TRUE(hidden ? cursor == 0 : cursor > 20) << cursor;
    if (hidden) {
      app.send("stop\n");
      EXPECT_EQ(app.waitHelper(), 0);
      continue;
    }
    auto killed = (app.process().kill(SIGKILL), std::chrono::steady_clock::now());
    ASSERT_TRUE(app.process().wait());  // once the application is reaped, the helper is ours to wait for
    int status = -1;
    ASSERT_EQ(waitpid(helper, &status, 0), helper);
    EXPECT_EQ(std::tuple(WIFEXITED(status), WEXITSTATUS(status)), std::tuple(true, 0));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 4s);  // about a second of parent watch
  }
  EXPECT_EQ(app.process().readAllStderr(10s), "");
}

// Another client's 1x1 InputOnly window carrying WM_STATE, inside the
// application's top-level (no window manager) or inside the frame the window
// manager made for it, would pass for the client there; the application's
// window must stay out of the frame all the same. (Unmapped: the window
// manager would take a mapped one out of its frame.)
TEST(RecordingScreen, AnotherClientsWindowInsideTheApplicationsLetsNothingShow) {
  for (bool windowManager : {true, false}) {
    SCOPED_TRACE(windowManager);
    XSession own({kMonitorWidth, kMonitorHeight, windowManager, {}});
    FakeApp app(own);
    auto client = app.openWindow("color=ff0000 x=100 y=100 w=200 h=150");
    ASSERT_TRUE(client);
    ASSERT_TRUE(app.openWindow("color=ff0000 x=400 y=300 w=50 h=50"));  // known to be the application's
    auto c = x11::Connection::open(own.display().c_str());
    x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c->get(), xcb_query_tree(c->get(), *client), nullptr));
    ASSERT_TRUE(tree);
    const xcb_window_t top = windowManager ? tree->parent : *client;
    ASSERT_NE(top, c->root());
    const xcb_window_t child = xcb_generate_id(c->get());
    xcb_create_window(c->get(), 0, child, top, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0,
                      nullptr);
    const std::uint32_t normalState[] = {1, XCB_NONE};
    const xcb_atom_t wmState = c->atom("WM_STATE");
    xcb_change_property(c->get(), XCB_PROP_MODE_REPLACE, child, wmState, wmState, 32, 2, normalState);
    free(xcb_get_input_focus_reply(c->get(), xcb_get_input_focus(c->get()), nullptr));
    ASSERT_GT(app.run({binary(kHelper), monitorAt(own.display(), 0), "30", "hidden"}), 0);
    auto picture = readPicture(app.process());
    ASSERT_TRUE(picture);
    EXPECT_EQ(countNear(*picture, kAppRed, 0, 0, kMonitorWidth, kMonitorHeight), 0);
    app.send("stop\n");
    EXPECT_EQ(app.waitHelper(), 0);
  }
}

// Makes the test an application with a window, on a server of its own.
void showAnApplicationWindow(x11::Connection& c) {
  xcb_window_t window = xcb_generate_id(c.get());
  xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, c.root(), 20, 20, 60, 60, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    c.screen()->root_visual, 0, nullptr);
  xcb_map_window(c.get(), window);
  free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
}

// The test plays the application on a server of its own: it stalls the helper's
// output for three seconds of requests, reads again, then closes it; and it kills
// the server under a second helper while that one reads a frame back.
TEST(RecordingScreen, SurvivesAStalledReaderAndEndsOnAClosedOneOrALostServer) {
  std::signal(SIGPIPE, SIG_IGN);  // a helper's input closes when it ends
  XSession own({1280, 720, false, {}});
  auto c = x11::Connection::open(own.display().c_str());
  showAnApplicationWindow(*c);
  const std::vector<std::string> argv{binary(kHelper), monitorAt(own.display(), 0), "60"};
  SpawnOptions options{.env = {{"DISPLAY", own.display()}}};

  int out[2], unread = 0;
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  options.extraFds = {{1, out[1]}};
  Child stalled(argv, options);
  close(out[1]);
  ASSERT_TRUE(readPicture(out[0]));
  // The helper widened the pipe when it started; a small one fills with few records.
  const int capacity = fcntl(out[0], F_SETPIPE_SZ, 4096);
  const long before = residentPages(stalled.pid());
  auto request = [&](Child& helper, std::uint32_t rgb) { paintRoot(*c, rgb), helper.writeStdin("frame\n"); };
  for (int i = 0; i < 90 && !stalled.wait(33ms); ++i) request(stalled, i % 2 ? 0x203040 : 0x405060);
  ASSERT_EQ(ioctl(out[0], FIONREAD, &unread), 0);
  EXPECT_EQ(unread, capacity);  // the helper was held up writing
  EXPECT_LT((residentPages(stalled.pid()) - before) * sysconf(_SC_PAGESIZE), 16 << 20);
  // Read again: at most the record held up and the one in the pipe before the screen as it is.
  std::optional<Picture> p;
  int records = 0;  // up to the first showing the screen as it is now
  do request(stalled, 0xff00ff), p = readPicture(out[0]);
  while (++records < 10 && p && !near(p->at(320, 400), kMagenta));
  ASSERT_TRUE(p);
  ASSERT_TRUE(near(p->at(320, 400), kMagenta));
  EXPECT_LE(records, 3);
  close(out[0]);
  for (int i = 0; i < 200 && !stalled.wait(33ms); ++i) request(stalled, i % 2 ? 0x203040 : 0x405060);
  EXPECT_EQ(stalled.wait(), 1);
  EXPECT_EQ(stalled.readAllStderr(), "屏幕帧传输失败：Broken pipe");

  options.extraFds.clear();
  Child helper(argv, options);
  ASSERT_TRUE(readPicture(helper));
  request(helper, 0x808080);
  kill(own.serverPid(), SIGKILL);
  EXPECT_EQ(helper.wait(20s), 1);
  EXPECT_EQ(helper.readAllStderr(), "屏幕录制采集失败：the connection to the X server was lost");
}

// A monitor unplugged while streaming ends the stream at the next frame: the
// picture would show an area no longer there.
TEST(RecordingScreen, AMonitorUnpluggedWhileStreamingEndsIt) {
  XSession own({1280, 720, false, {"640x480+0+0"}});
  auto c = x11::Connection::open(own.display().c_str());
  showAnApplicationWindow(*c);
  SpawnOptions options{.env = {{"DISPLAY", own.display()}}};
  Child helper({binary(kHelper), monitorAt(own.display(), 0), "30"}, options);
  ASSERT_TRUE(readPicture(helper));
  const auto unplugged = run({"xrandr", "--delmonitor", "QV-1"}, "", options);
  ASSERT_EQ(unplugged.status, 0) << unplugged.err;
  paintRoot(*c, 0x405060);
  helper.writeStdin("frame\n");
  EXPECT_EQ(helper.wait(20s), 1);
  EXPECT_EQ(helper.readAllStderr(), "录制显示器已断开");
}

}  // namespace
}  // namespace quorvane::test
