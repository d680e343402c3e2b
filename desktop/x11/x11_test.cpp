#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include "desktop/x11/cover_picture.h"
#include "desktop/x11/mask_backend.h"

namespace quorvane::desktop::x11 {
namespace {

TEST(CoverRectTest, GrowsPastAFreeRootEdgeAndKeepsThePictureInPlace) {
  const struct { Screen frame; std::uint32_t rootW, rootH; CoverRect expected; } cases[] = {
      {{0, 0, 1280, 800}, 1280, 800, {0, 0, 1281, 800, 0, 0}},
      {{1280, 0, 1280, 800}, 2560, 800, {1280, 0, 1281, 800, 0, 0}},
      {{0, 0, 1280, 800}, 2560, 800, {0, 0, 1280, 801, 0, 0}},
      {{0, 0, 1280, 800}, 2560, 1600, {-1, 0, 1281, 800, 1, 0}},
      {{1280, 0, 1280, 800}, 3840, 1600, {1280, -1, 1280, 801, 0, 1}},
      {{1280, 800, 1280, 800}, 3840, 2400, {1280, 800, 1281, 800, 0, 0}}};
  for (const auto& [frame, rootW, rootH, expected] : cases) {
    EXPECT_EQ(coverRect(frame, rootW, rootH), expected) << frame.x << "," << frame.y << " in " << rootW << "x" << rootH;
  }
}

TEST(MaskBackendTest, CountsOnlyTheServersExposeOfEachCover) {
  std::vector<xcb_window_t> unexposed{10, 11};
  // Window, whether another client sent it, and the covers still waiting after it.
  const struct { xcb_window_t window; bool sent; std::vector<xcb_window_t> left; } events[] = {
      {10, true, {10, 11}}, {11, true, {10, 11}}, {10, false, {11}}, {99, false, {11}}, {10, false, {11}},
      {11, false, {}}};
  for (const auto& [window, sent, left] : events) {
    xcb_expose_event_t e{};
    e.response_type = static_cast<std::uint8_t>(XCB_EXPOSE | (sent ? 0x80 : 0));
    e.window = window;
    takeExposed(unexposed, reinterpret_cast<const xcb_generic_event_t&>(e));
    EXPECT_EQ(unexposed, left) << window << sent;
  }
}

}  // namespace
}  // namespace quorvane::desktop::x11
