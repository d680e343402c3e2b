// The X11 compositor against a private server: a picture's rows read back in
// bands, taken in by one thread that looks for them while another waits.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "common/x11/connection.h"
#include "recording-screen/x11/compositor.h"
#include "tests/support/xsession.h"

namespace quorvane::recording::x11 {
namespace {

constexpr std::uint16_t kWidth = 320, kHeight = 1000;  // eight bands of rows

// Stripes of 50 rows on the root, each its own colour, moved by `step`.
void paintStripes(const Connection& c, int step) {
  xcb_connection_t* x = c.get();
  xcb_gcontext_t gc = xcb_generate_id(x);
  xcb_create_gc(x, gc, c.root(), 0, nullptr);
  for (int y = 0; y < kHeight; y += 50) {
    const std::uint32_t colour = 0x102030u * static_cast<std::uint32_t>(y / 50 + step + 1) & 0xFFFFFFu;
    xcb_change_gc(x, gc, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t stripe{0, static_cast<std::int16_t>(y), kWidth, 50};
    xcb_poly_fill_rectangle(x, c.root(), gc, 1, &stripe);
  }
  xcb_free_gc(x, gc);
  free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
}

// The pixels of the picture that differ from the server's, in blue, green
// and red (the fourth byte means nothing).
int differing(const Connection& c, const PixelView& view) {
  xcb_connection_t* x = c.get();
  quorvane::x11::Reply<xcb_get_image_reply_t> held(xcb_get_image_reply(
      x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, c.root(), 0, 0, kWidth, kHeight, ~0u), nullptr));
  if (!held) return -1;
  const std::uint8_t* want = xcb_get_image_data(held.get());
  int n = 0;
  for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight * 4; ++i) n += i % 4 != 3 && view.bgrx[i] != want[i];
  return n;
}

// A thread that looks for the rows says they are in only once they are; rows
// it took in are those a thread waiting at the same time sees, while a third
// uses the connection. Frame after frame; the first failure, or nothing.
std::string checkFrames(const std::string& display) {
  auto c = Connection::open(display.c_str());
  if (!c) return "no connection";
  std::string error;
  auto compositor = Compositor::create(*c, Area{0, 0, kWidth, kHeight}, error);
  if (!compositor) return error;
  for (int step = 0; step < 6; ++step) {
    const std::string frame = " in frame " + std::to_string(step);
    paintStripes(*c, step);
    auto view = compositor->compose({}, false);
    if (!view) return "no picture" + frame;
    const bool alsoWaited = step % 2 == 1;
    std::atomic<bool> in{false};
    std::thread looker([&] {
      for (long looks = 0; !in && looks < 100'000'000; ++looks) {
        in = compositor->arrivedYet(kHeight);
        std::this_thread::yield();
      }
    });
    // As the capture thread does: a round trip of its own on the connection,
    // which may read the answers in, then a nudge for whoever sleeps.
    std::thread other([&] {
      if (!alsoWaited) return;
      free(xcb_get_input_focus_reply(c->get(), xcb_get_input_focus(c->get()), nullptr));
      compositor->nudge();
    });
    const bool awaited = !alsoWaited || compositor->await(kHeight);
    looker.join();
    other.join();
    if (!in || !awaited) return "rows never came" + frame;
    if (!alsoWaited && differing(*c, *view) != 0) return "rows said to be in were not" + frame;
    if (!compositor->await(kHeight) || differing(*c, *view) != 0) return "the picture differs" + frame;
  }
  return {};
}

// Read into memory shared with the server, and copied out of its answers where
// it cannot share (a server in another IPC namespace), where only rows taken
// in are in the picture.
TEST(Compositor, RowsALookingThreadTakesInAreThoseAWaitingOneSees) {
  const std::string display = test::sharedXSession({kWidth, kHeight, false, {}}).display();
  EXPECT_EQ(checkFrames(display), "");
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWIPC) != 0) _exit(77);
    const std::string failure = checkFrames(display);
    std::fprintf(stderr, "copied: %s\n", failure.c_str());
    _exit(failure.empty() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no permission for a new IPC namespace";
  EXPECT_EQ(std::pair(WIFEXITED(status) != 0, WEXITSTATUS(status)), std::pair(true, 0)) << status;
}

}  // namespace
}  // namespace quorvane::recording::x11
