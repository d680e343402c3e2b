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

TEST(DrawCoverTest, PlacesThePictureOverTheFillAndWritesEveryPixel) {
  constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kHalfRed = 0x808000, kGarbage = 0xDEADBEEF;
  // A 4 x 2 picture, left half red, right half blue or transparent, over a green fill. Probes (x, y, colour) stay
  // clear of the red-blue border, which scaling blends.
  const struct { const char* name; bool clearRight; Rect placed; CoverRect rect;
                 std::vector<std::tuple<int, int, std::uint32_t>> probes; } cases[] = {
      {"bands, the edge half a row in", false, {0, 5.5, 40, 10}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kGreen}, {39, 4, kGreen}, {0, 5, kHalfRed}, {0, 6, kRed}, {39, 14, kBlue}, {0, 16, kGreen}}},
      {"centred at natural size", false, {18, 9, 4, 2}, {0, 0, 40, 20, 0, 0},
       {{17, 9, kGreen}, {18, 9, kRed}, {19, 10, kRed}, {20, 9, kBlue}, {21, 10, kBlue}, {22, 9, kGreen}, {18, 11, kGreen}}},
      {"overflows; transparent parts show the fill", true, {-20, 0, 80, 20}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kRed}, {5, 19, kRed}, {30, 0, kGreen}, {39, 19, kGreen}}},
  };
  for (const auto& c : cases) {
    auto image = std::make_shared<Bitmap>(Bitmap{4, 2, !c.clearRight, std::shared_ptr<std::uint32_t[]>(new std::uint32_t[8])});
    for (int i = 0; i < 8; ++i) image->pixels[i] = i % 4 < 2 ? 0xFF000000 | kRed : c.clearRight ? 0 : 0xFF000000 | kBlue;
    std::vector<std::uint32_t> canvas(std::size_t{c.rect.width} * c.rect.height, kGarbage);  // left-over memory
    drawCover(CoverPlan{{}, image, {4, 2}, 3, true, {0, 1, 0, 1}, c.placed}, c.rect, canvas.data(), c.rect.width * 4);
    EXPECT_EQ(std::count(canvas.begin(), canvas.end(), kGarbage), 0) << c.name;  // must not show anywhere
    for (const auto& [x, y, colour] : c.probes) {
      std::uint32_t got = canvas[static_cast<size_t>(y) * c.rect.width + x];
      for (int shift : {0, 8, 16}) EXPECT_NEAR(got >> shift & 0xFF, colour >> shift & 0xFF, 2) << c.name << " " << x << "," << y;
    }
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
