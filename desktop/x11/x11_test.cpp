#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include "desktop/x11/cover_picture.h"
#include "desktop/posix/loop_inputs.h"
#include "desktop/x11/mask_backend.h"

namespace quorvane::desktop::x11 {
namespace {
TEST(CoverRectTest, GrowsPastAFreeRootEdgeAndKeepsThePictureInPlace) {
  const struct { Screen frame; std::uint32_t rootW, rootH; CoverRect expected; } cases[] = {
      {{0, 0, 1280, 800}, 1280, 800, {0, 0, 1281, 800, 0, 0}}, {{1280, 0, 1280, 800}, 2560, 800, {1280, 0, 1281, 800, 0, 0}},
      {{0, 0, 1280, 800}, 2560, 800, {0, 0, 1280, 801, 0, 0}}, {{0, 0, 1280, 800}, 2560, 1600, {-1, 0, 1281, 800, 1, 0}},
      {{1280, 0, 1280, 800}, 3840, 1600, {1280, -1, 1280, 801, 0, 1}},
      {{1280, 800, 1280, 800}, 3840, 2400, {1280, 800, 1281, 800, 0, 0}}};
  for (const auto& [frame, rootW, rootH, e] : cases) {
    CoverRect r = coverRect(frame, rootW, rootH);
    EXPECT_TRUE(r.x == e.x && r.y == e.y && r.width == e.width && r.height == e.height && r.pictureX == e.pictureX &&
                r.pictureY == e.pictureY) << frame.x << "," << frame.y << " in " << rootW << "x" << rootH;
  }
}

TEST(MaskBackendTest, CountsOnlyTheServersExposeOfEachCoverAndTakesNothingYetForNoEnd) {
  std::vector<xcb_window_t> unexposed{10, 11};
  // Window and whether another client sent it; the last is the first that completes the set.
  for (auto [window, sent, last] : {std::tuple{10u, true, false}, {11u, true, false}, {10u, false, false},
                                    {99u, false, false}, {10u, false, false}, {11u, false, true}}) {
    xcb_expose_event_t e{};
    e.response_type = static_cast<std::uint8_t>(XCB_EXPOSE | (sent ? 0x80 : 0));
    e.window = window;
    EXPECT_EQ(lastCoverExposed(unexposed, reinterpret_cast<const xcb_generic_event_t&>(e)), last) << window << sent;
  }
  int fds[2];  // nothing yet on a non-blocking stream is no end of input
  ASSERT_TRUE(pipe2(fds, O_NONBLOCK) == 0 && posix::readControlChunk(fds[0]) == std::nullopt);
  EXPECT_TRUE(write(fds[1], "stop\n", 5) == 5 && posix::readControlChunk(fds[0]) == "stop\n" && close(fds[1]) == 0);
  EXPECT_TRUE(posix::readControlChunk(fds[0]) == "" && close(fds[0]) == 0);
}

}  // namespace
}  // namespace quorvane::desktop::x11
