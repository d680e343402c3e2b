#include "desktop/drawing/cover_drawing.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace quorvane::desktop {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kHalfRed = 0x808000;
constexpr std::uint32_t kGarbage = 0xDEADBEEF;

// A 4 x 2 picture, left half red, right half blue (or transparent).
std::shared_ptr<Bitmap> halves(bool clearRight) {
  std::shared_ptr<std::uint32_t[]> pixels(new std::uint32_t[8]);
  auto image = std::make_shared<Bitmap>(Bitmap{4, 2, !clearRight, pixels});
  for (int i = 0; i < 8; ++i) image->pixels[i] = i % 4 < 2 ? 0xFF000000 | kRed : clearRight ? 0 : 0xFF000000 | kBlue;
  return image;
}

TEST(DrawCoverTest, PlacesThePictureOverTheFillAndWritesEveryPixel) {
  // The picture over a green fill. Probes (x, y, colour) stay clear of the red-blue border, which scaling blends.
  const struct { const char* name; bool clearRight; Rect placed; CoverRect rect;
                 std::vector<std::tuple<int, int, std::uint32_t>> probes; } cases[] = {
      {"bands, the edge half a row in", false, {0, 5.5, 40, 10}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kGreen}, {39, 4, kGreen}, {0, 5, kHalfRed}, {0, 6, kRed}, {39, 14, kBlue}, {0, 16, kGreen}}},
      {"centred at natural size", false, {18, 9, 4, 2}, {0, 0, 40, 20, 0, 0},
       {{17, 9, kGreen}, {18, 9, kRed}, {19, 10, kRed}, {20, 9, kBlue}, {21, 10, kBlue}, {22, 9, kGreen},
        {18, 11, kGreen}}},
      {"overflows; transparent parts show the fill", true, {-20, 0, 80, 20}, {0, 0, 40, 20, 0, 0},
       {{0, 0, kRed}, {5, 19, kRed}, {30, 0, kGreen}, {39, 19, kGreen}}},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> canvas(std::size_t{c.rect.width} * c.rect.height, kGarbage);  // left-over memory
    CoverPlan plan{{}, halves(c.clearRight), {4, 2}, 3, true, {0, 1, 0, 1}, c.placed};
    drawCover(plan, c.rect, canvas.data(), c.rect.width * 4);
    EXPECT_EQ(std::count(canvas.begin(), canvas.end(), kGarbage), 0) << c.name;  // must not show anywhere
    for (const auto& [x, y, colour] : c.probes) {
      std::uint32_t got = canvas[static_cast<size_t>(y) * c.rect.width + x];
      for (int shift : {0, 8, 16}) {
        EXPECT_NEAR(got >> shift & 0xFF, colour >> shift & 0xFF, 2) << c.name << " " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace quorvane::desktop
