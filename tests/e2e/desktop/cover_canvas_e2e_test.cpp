// A cover's pixels reach its pixmap unchanged whichever way they travel: as a
// pixmap of shared memory, copied from shared memory, or through the socket.
#include <gtest/gtest.h>
#include <vector>

#include <xcb/xcb.h>

#include "desktop/x11/cover_picture.h"
#include "tests/support/xsession.h"

namespace quorvane::desktop::x11 {
namespace {

xcb_visualtype_t* visualOf(xcb_screen_t* screen) {
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) return v.data;
    }
  }
  return nullptr;
}

// Every pixel different from its neighbours, so a wrong row length or offset shows.
std::uint32_t pattern(std::uint32_t x, std::uint32_t y) { return ((x * 7919u) ^ (y * 104729u)) & 0xFFFFFF; }

TEST(CoverCanvasTest, EveryWayToThePixmapKeepsEveryPixel) {
  test::XSessionOptions options;
  options.windowManager = false;
  test::XSession session(options);
  xcb_connection_t* c = xcb_connect(session.display().c_str(), nullptr);
  ASSERT_EQ(xcb_connection_has_error(c), 0);
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_visualtype_t* visual = visualOf(screen);
  // Xvfb's default screen is the common desktop layout.
  ASSERT_TRUE(takesNativeXrgb(xcb_get_setup(c), screen, visual));

  // An odd width, so that no row happens to line up with any padding.
  constexpr std::uint32_t kWidth = 301, kHeight = 77;
  const struct {
    const char* name;
    bool share, sharedPixmaps;
  } ways[] = {{"pixmap of shared memory", true, true},
              {"copied from shared memory", true, false},
              {"through the socket", false, false}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    CoverCanvas canvas(c, kWidth, kHeight, way.share);
    ASSERT_NE(canvas.pixels(), nullptr);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      for (std::uint32_t x = 0; x < kWidth; ++x) canvas.pixels()[y * kWidth + x] = pattern(x, y);
    }
    // The segment is marked removed before the server attaches it: that must still work.
    EXPECT_EQ(canvas.sharedWithServer(), way.share);
    xcb_pixmap_t pixmap = canvas.toPixmap(screen, visual, way.sharedPixmaps);

    auto* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0, kWidth, kHeight, ~0u), nullptr);
    ASSERT_NE(image, nullptr);
    ASSERT_GE(xcb_get_image_data_length(image), static_cast<int>(kWidth * kHeight * 4));
    const auto* got = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    int wrong = 0;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        if ((got[y * kWidth + x] & 0xFFFFFF) != pattern(x, y) && ++wrong <= 3) {
          ADD_FAILURE() << "pixel " << x << "," << y;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
    free(image);
    xcb_free_pixmap(c, pixmap);
  }
  xcb_disconnect(c);
}

}  // namespace
}  // namespace quorvane::desktop::x11
