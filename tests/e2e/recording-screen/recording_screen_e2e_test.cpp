// The streamer as the application runs it: a child of the (fake) application
// on a private X server with two monitors side by side, asked for frames on
// its standard input, read as frame records on its standard output.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <poll.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <xcb/xcb.h>

#include "common/x11/connection.h"
#include "recording-screen/frame_record.h"
#include "tests/support/eventually.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

constexpr int kMonitorWidth = 640, kMonitorHeight = 480;
const char kHelper[] = "quorvane-recording-screen";

XSession& session() {
  XSessionOptions options;
  options.width = 2 * kMonitorWidth;
  options.height = kMonitorHeight;
  options.monitors = {"640x480+0+0", "640x480+640+0"};
  auto& s = sharedXSession(options);
  s.exportDisplay();
  return s;
}

// The display ids of the left and right monitors.
std::vector<std::uint32_t> monitorIds() {
  auto c = x11::Connection::open(session().display().c_str());
  std::vector<std::uint32_t> ids;
  auto all = x11::monitors(*c);
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
  for (const auto& m : all) ids.push_back(m.id);
  return ids;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  std::array<int, 3> at(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

// The next record's JPEG, decoded.
std::optional<Picture> readPicture(Child& c) {
  auto header = c.readBytes(recording::kRecordHeaderBytes, 20s);
  if (!header || !recording::validRecordLength(recording::recordLength(*header))) return std::nullopt;
  auto jpeg = c.readBytes(recording::recordLength(*header), 20s);
  if (!jpeg) return std::nullopt;
  tjhandle h = tjInitDecompress();
  Picture p;
  int sub = 0, space = 0;
  auto* data = reinterpret_cast<const unsigned char*>(jpeg->data());
  bool ok = tjDecompressHeader3(h, data, jpeg->size(), &p.width, &p.height, &sub, &space) == 0;
  if (ok) {
    p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
    ok = tjDecompress2(h, data, jpeg->size(), p.rgb.data(), p.width, 0, p.height, TJPF_RGB, 0) == 0;
  }
  tjDestroy(h);
  if (!ok) return std::nullopt;
  return p;
}

bool near(std::array<int, 3> got, std::array<int, 3> want, int tolerance = 40) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(got[i] - want[i]) > tolerance) return false;
  }
  return true;
}

// Pixels of the square at (x0, y0) that are (or are not) near the colour.
int countNear(const Picture& p, std::array<int, 3> colour, int x0, int y0, int w, int h, bool wanted = true) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y) {
    for (int x = x0; x < x0 + w; ++x) n += near(p.at(x, y), colour, 50) == wanted;
  }
  return n;
}

const std::array<int, 3> kAppRed{255, 0, 0}, kOtherGreen{0, 255, 0};

TEST(RecordingScreen, FramesShowOtherApplicationsButNeverTheParents) {
  auto ids = monitorIds();
  ASSERT_EQ(ids.size(), 2u);
  FakeApp app(session());
  FakeApp other(session());
  // On the right monitor: the application's red window partly covers another application's green one.
  ASSERT_TRUE(other.openWindow("color=00ff00 x=900 y=120 w=240 h=200"));
  ASSERT_TRUE(app.openWindow("color=ff0000 x=820 y=60 w=200 h=180"));
  ASSERT_TRUE(app.openWindow("color=ff0000 x=100 y=100 w=100 h=100"));  // on the other monitor
  ASSERT_GT(app.run({binary(kHelper), std::to_string(ids[1]), "30", "hidden"}), 0);

  auto picture = readPicture(app.process());  // unasked
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, kMonitorWidth);
  EXPECT_EQ(picture->height, kMonitorHeight);
  EXPECT_EQ(countNear(*picture, kAppRed, 0, 0, kMonitorWidth, kMonitorHeight), 0);
  // Green where the red window lay over it, and in the open.
  EXPECT_TRUE(near(picture->at(920 - 640, 200), kOtherGreen));
  EXPECT_TRUE(near(picture->at(1100 - 640, 300), kOtherGreen));

  app.send("stop\n");
  EXPECT_EQ(app.waitHelper(), 0);
  app.process().kill(SIGTERM);
  EXPECT_EQ(app.process().readAllStderr(10s), "");
  EXPECT_EQ(app.process().readAllStdout(10s), "");
}

// Puts the pointer in the middle of a plain window and takes one frame.
std::optional<Picture> frameWithPointer(bool hidden) {
  auto ids = monitorIds();
  FakeApp app(session());
  FakeApp other(session());
  EXPECT_TRUE(other.openWindow("color=2040c0 x=100 y=100 w=400 h=300"));
  EXPECT_TRUE(app.openWindow("x=600 y=400 w=20 h=20"));
  auto c = x11::Connection::open(session().display().c_str());
  xcb_warp_pointer(c->get(), XCB_NONE, c->root(), 0, 0, 0, 0, 300, 250);
  free(xcb_get_input_focus_reply(c->get(), xcb_get_input_focus(c->get()), nullptr));
  std::vector<std::string> argv{binary(kHelper), std::to_string(ids[0]), "15"};
  if (hidden) argv.push_back("hidden");
  EXPECT_GT(app.run(argv), 0);
  auto picture = readPicture(app.process());
  app.closeHelperStdin();
  EXPECT_EQ(app.waitHelper(), 0);
  return picture;
}

TEST(RecordingScreen, TheCursorIsDrawnUnlessHidden) {
  const std::array<int, 3> blue{0x20, 0x40, 0xc0};
  auto shown = frameWithPointer(false);
  auto hidden = frameWithPointer(true);
  ASSERT_TRUE(shown && hidden);
  EXPECT_GT(countNear(*shown, blue, 290, 240, 24, 24, false), 20);
  EXPECT_EQ(countNear(*hidden, blue, 290, 240, 24, 24, false), 0);
}

TEST(RecordingScreen, EndsQuietlyWhenTheApplicationDies) {
  // Orphans come to us, so the helper's status can still be read.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  auto ids = monitorIds();
  FakeApp app(session());
  ASSERT_TRUE(app.openWindow("x=10 y=10 w=50 h=50"));
  int helper = app.run({binary(kHelper), std::to_string(ids[0]), "30"});
  ASSERT_GT(helper, 0);
  ASSERT_TRUE(readPicture(app.process()));
  auto killed = std::chrono::steady_clock::now();
  app.process().kill(SIGKILL);
  // Once the application is reaped, the helper is ours to wait for.
  ASSERT_TRUE(app.process().wait());
  int status = -1;
  ASSERT_EQ(waitpid(helper, &status, 0), helper);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // About a second of parent watch, with room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - killed, 4s);
}

// The test itself plays the application here, to close the reading end.
TEST(RecordingScreen, AReaderThatClosesItsEndIsAWriteError) {
  auto ids = monitorIds();
  auto c = x11::Connection::open(session().display().c_str());
  xcb_window_t w = xcb_generate_id(c->get());
  std::uint32_t white = c->screen()->white_pixel;
  xcb_create_window(c->get(), XCB_COPY_FROM_PARENT, w, c->root(), 20, 20, 60, 60, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    c->screen()->root_visual, XCB_CW_BACK_PIXEL, &white);
  xcb_map_window(c->get(), w);
  // The window manager maps it in its own time; the helper must find it managed.
  ASSERT_TRUE(eventually([&] {
    auto* a = xcb_get_window_attributes_reply(c->get(), xcb_get_window_attributes(c->get(), w), nullptr);
    bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    free(a);
    return viewable;
  }));

  std::signal(SIGPIPE, SIG_IGN);  // the helper's end of its input closes when it ends
  int in[2], out[2], err[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  std::string path = binary(kHelper), id = std::to_string(ids[0]);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execl(path.c_str(), path.c_str(), id.c_str(), "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  char header[4];
  ASSERT_EQ(read(out[0], header, 4), 4);  // the first record is on its way
  close(out[0]);
  // Ask for more and change the screen until the helper reports the closed pipe.
  pollfd ended{err[0], POLLIN, 0};
  for (int i = 0; i < 200 && poll(&ended, 1, 50) == 0; ++i) {
    ASSERT_EQ(write(in[1], "frame\n", 6), 6);
    std::uint32_t xy[] = {static_cast<std::uint32_t>(20 + i % 50), 20};
    xcb_configure_window(c->get(), w, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
    xcb_flush(c->get());
  }
  int status = -1;
  waitpid(pid, &status, 0);
  close(in[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(err[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(text, "屏幕帧传输失败：Broken pipe");
}

}  // namespace
}  // namespace quorvane::test
