#include "desktop/x11/cover_picture.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace quorvane::desktop::x11 {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
constexpr std::uint32_t kGarbage = 0xDEADBEEF;

// A picture whose left half is red and right half blue; `clearRight` makes the
// right half fully transparent instead.
std::shared_ptr<Bitmap> halves(std::uint32_t w, std::uint32_t h, bool clearRight = false) {
  auto b = std::make_shared<Bitmap>();
  b->width = w;
  b->height = h;
  b->opaque = !clearRight;
  b->pixels.reset(new std::uint32_t[std::size_t{w} * h]);
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) {
      b->pixels[y * w + x] = x < w / 2 ? 0xFF000000 | kRed : (clearRight ? 0 : 0xFF000000 | kBlue);
    }
  }
  return b;
}

struct Canvas {
  CoverRect rect;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * rect.width + x] & 0xFFFFFF; }
};

Canvas draw(std::shared_ptr<Bitmap> image, Rect placed, CoverRect rect, Color fill = {0, 1, 0, 1}) {
  CoverPlan plan;
  plan.image = image;
  plan.imageSize = {static_cast<double>(image->width), static_cast<double>(image->height)};
  plan.placed = placed;
  plan.fill = fill;
  // Left-over memory must not show anywhere: the canvas starts as garbage.
  Canvas c{rect, std::vector<std::uint32_t>(std::size_t{rect.width} * rect.height, kGarbage)};
  drawCover(plan, rect, c.pixels.data(), rect.width * 4);
  return c;
}

TEST(CoverRectTest, GrowsPastAFreeRootEdgeAndKeepsThePictureInPlace) {
  const struct {
    Screen frame;
    std::uint32_t rootW, rootH;
    CoverRect expected;
  } cases[] = {
      {{0, 0, 1280, 800}, 1280, 800, {0, 0, 1281, 800, 0, 0}},           // alone: off the right edge
      {{1280, 0, 1280, 800}, 2560, 800, {1280, 0, 1281, 800, 0, 0}},     // right of two
      {{0, 0, 1280, 800}, 2560, 800, {0, 0, 1280, 801, 0, 0}},           // left of two: off the bottom
      {{0, 0, 1280, 800}, 2560, 1600, {-1, 0, 1281, 800, 1, 0}},         // top-left of four: off the left
      {{1280, 0, 1280, 800}, 3840, 1600, {1280, -1, 1280, 801, 0, 1}},   // top middle: off the top
      {{1280, 800, 1280, 800}, 3840, 2400, {1280, 800, 1281, 800, 0, 0}},  // enclosed
  };
  for (const auto& c : cases) {
    CoverRect r = coverRect(c.frame, c.rootW, c.rootH);
    SCOPED_TRACE(testing::Message() << c.frame.x << "," << c.frame.y << " in " << c.rootW << "x" << c.rootH);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
    // The screen's picture still starts at the screen's own corner.
    EXPECT_EQ(r.x + r.pictureX, c.frame.x);
    EXPECT_EQ(r.y + r.pictureY, c.frame.y);
  }
}

TEST(DrawCoverTest, PlacesThePictureAndFillsAroundIt) {
  const struct {
    const char* name;
    std::shared_ptr<Bitmap> image;
    Rect placed;
    CoverRect rect;
    // Probes: x, y, expected colour.
    std::vector<std::tuple<int, int, std::uint32_t>> probes;
  } cases[] = {
      // Probes stay clear of the red-blue border, which scaling blends.
      {"covers the whole canvas", halves(4, 2), {0, 0, 40, 20}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kRed}, {10, 19, kRed}, {30, 0, kBlue}, {39, 19, kBlue}}},
      {"fits with bands above and below", halves(4, 2), {0, 5.5, 40, 10}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kGreen}, {39, 4, kGreen}, {0, 6, kRed}, {39, 14, kBlue}, {0, 16, kGreen}, {39, 19, kGreen}}},
      {"centred at natural size", halves(4, 2), {18, 9, 4, 2}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kGreen}, {17, 9, kGreen}, {18, 9, kRed}, {19, 10, kRed}, {20, 9, kBlue}, {21, 10, kBlue},
        {22, 9, kGreen}, {18, 11, kGreen}}},
      {"overflows to the left and right", halves(4, 2), {-20, 0, 80, 20}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kRed}, {9, 10, kRed}, {30, 10, kBlue}, {39, 19, kBlue}}},
      {"window grown by a column on its left", halves(4, 2), {0, 0, 40, 20}, {-1, 0, 41, 20, 1, 0},
       {{0, 0, kGreen}, {0, 19, kGreen}, {1, 0, kRed}, {11, 10, kRed}, {31, 10, kBlue}, {40, 19, kBlue}}},
      {"window grown by a column on its right", halves(4, 2), {0, 0, 40, 20}, {0, 0, 41, 20, 0, 0},
       {{0, 0, kRed}, {39, 19, kBlue}, {40, 0, kGreen}, {40, 19, kGreen}}},
      {"transparent parts show the fill", halves(4, 2, true), {0, 0, 40, 20}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kRed}, {10, 19, kRed}, {30, 0, kGreen}, {39, 19, kGreen}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas canvas = draw(c.image, c.placed, c.rect);
    for (const auto& [x, y, colour] : c.probes) {
      EXPECT_EQ(canvas.at(x, y), colour) << "at " << x << "," << y;
    }
    for (std::uint32_t p : canvas.pixels) ASSERT_NE(p, kGarbage);
  }
}

TEST(DrawCoverTest, AMuchSmallerPictureAveragesEveryPixelItShrinks) {
  // Grey noise shrunk to a quarter: each pixel drawn is the mean of its 4 x 4
  // block. Sampling only some of the block's pixels would be far off.
  constexpr std::uint32_t kSide = 64, kFactor = 4;
  auto noise = std::make_shared<Bitmap>();
  noise->width = noise->height = kSide;
  noise->opaque = true;
  noise->pixels.reset(new std::uint32_t[kSide * kSide]);
  std::uint32_t seed = 12345;
  for (std::uint32_t i = 0; i < kSide * kSide; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::uint32_t grey = (seed >> 16) & 0xFF;
    noise->pixels[i] = 0xFF000000 | grey << 16 | grey << 8 | grey;
  }
  constexpr std::uint32_t kDrawn = kSide / kFactor;
  Canvas canvas = draw(noise, {0, 0, kDrawn, kDrawn}, {0, 0, kDrawn, kDrawn, 0, 0});
  int worst = 0;
  for (std::uint32_t y = 0; y < kDrawn; ++y) {
    for (std::uint32_t x = 0; x < kDrawn; ++x) {
      int sum = 0;
      for (std::uint32_t dy = 0; dy < kFactor; ++dy) {
        for (std::uint32_t dx = 0; dx < kFactor; ++dx) {
          sum += noise->pixels[(y * kFactor + dy) * kSide + x * kFactor + dx] & 0xFF;
        }
      }
      int mean = sum / static_cast<int>(kFactor * kFactor);
      worst = std::max(worst, std::abs(static_cast<int>(canvas.at(static_cast<int>(x), static_cast<int>(y)) & 0xFF) - mean));
    }
  }
  EXPECT_LE(worst, 3);
}

TEST(DrawCoverTest, AFractionalEdgeBlendsThePictureWithTheFill) {
  // The picture's top edge falls in the middle of row 5: that row is half
  // fill, half picture, as if the picture were painted over the fill.
  Canvas canvas = draw(halves(4, 2), {0, 5.5, 40, 10}, {0, 0, 40, 20, 0, 0});
  std::uint32_t edge = canvas.at(0, 5);
  std::uint32_t red = edge >> 16, green = (edge >> 8) & 0xFF, blue = edge & 0xFF;
  EXPECT_NEAR(red, 0x80, 2);
  EXPECT_NEAR(green, 0x80, 2);
  EXPECT_EQ(blue, 0u);
}

TEST(DrawCoverTest, AHalfTransparentFillIsDrawnOverBlack) {
  Canvas canvas = draw(halves(4, 2), {0, 5, 40, 10}, {0, 0, 40, 20, 0, 0}, {0, 1, 0, 0.5});
  EXPECT_NEAR(static_cast<int>((canvas.at(0, 0) >> 8) & 0xFF), 0x80, 1);
  EXPECT_EQ(canvas.at(0, 0) & 0xFF00FF, 0u);
}

}  // namespace
}  // namespace quorvane::desktop::x11
