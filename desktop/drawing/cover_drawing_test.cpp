#include "desktop/drawing/cover_drawing.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <cerrno>
#include <new>
#include <system_error>
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

// The colours drawn, without the byte cairo leaves unused.
std::vector<std::uint32_t> rgb(std::vector<std::uint32_t> pixels) {
  for (auto& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

// A screen-sized plan of one plain colour (a one-pixel picture, stretched).
CoverPlan plainPlan(std::shared_ptr<const Bitmap> pixel, std::uint32_t width) {
  return CoverPlan{{0, 0, width, 2}, std::move(pixel), {1, 1}, 1, true, {0, 0, 0, 1}, {0, 0, double(width), 2}};
}

std::shared_ptr<const Bitmap> pixelOf(std::uint32_t rgb) {
  std::shared_ptr<std::uint32_t[]> pixels(new std::uint32_t[1]{rgb | 0xFF000000});
  return std::make_shared<Bitmap>(Bitmap{1, 1, true, pixels});
}

TEST(CoverDrawingsTest, CoversAlikeShareOneDrawingMadeHereWhereNoThreadCanBeHad) {
  const CoverDrawings::Spawn spawns[] = {
      nullptr, [](std::function<void()>) -> std::thread { throw std::system_error(EAGAIN, std::generic_category()); },
      [](std::function<void()>) -> std::thread { throw std::bad_alloc(); }};
  auto red = pixelOf(0xFF0000), blue = pixelOf(0x0000FF);
  for (std::size_t s = 0; s < std::size(spawns); ++s) {
    std::vector<std::vector<std::uint32_t>> canvases;
    canvases.reserve(8);  // the threads draw into them: they must stay where they are
    CoverDrawings drawings(spawns[s]);
    auto draw = [&](const CoverPlan& plan) {
      CoverRect rect{0, 0, plan.frame.width, plan.frame.height, 0, 0};
      return drawings.draw(plan, coverPicture(plan, rect), rect, [&] {
        auto& canvas = canvases.emplace_back(std::size_t{plan.frame.width} * plan.frame.height, 0u);
        return CoverDrawings::Canvas{canvas.data(), plan.frame.width * 4};
      });
    };
    // The same picture on a screen of the same size is alike; another picture or size is not.
    std::vector<std::size_t> indexes{draw(plainPlan(red, 4)), draw(plainPlan(red, 4)), draw(plainPlan(blue, 4)),
                                     draw(plainPlan(red, 8)), draw(plainPlan(blue, 4))};
    drawings.finish();
    EXPECT_EQ(indexes, (std::vector<std::size_t>{0, 0, 1, 2, 1})) << s;
    ASSERT_EQ(canvases.size(), 3u) << s;
    EXPECT_EQ(std::tuple(rgb(canvases[0]), rgb(canvases[1]), rgb(canvases[2])),
              std::tuple(std::vector<std::uint32_t>(8, 0xFF0000), std::vector<std::uint32_t>(8, 0x0000FF),
                         std::vector<std::uint32_t>(16, 0xFF0000))) << s;
  }
}

}  // namespace
}  // namespace quorvane::desktop
