#include "desktop/drawing/cover_drawings.h"

#include <gtest/gtest.h>
#include <new>
#include <system_error>
#include <tuple>
#include <vector>

namespace quorvane::desktop {
namespace {

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

TEST(CoverDrawingsTest, CoversAlikeShareOneDrawingAndEveryDrawingIsDoneOnceFinished) {
  auto red = pixelOf(0xFF0000), blue = pixelOf(0x0000FF);
  std::vector<std::vector<std::uint32_t>> canvases;
  canvases.reserve(8);  // the threads draw into them: they must stay where they are
  CoverDrawings drawings;
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
  EXPECT_EQ(indexes, (std::vector<std::size_t>{0, 0, 1, 2, 1}));
  ASSERT_EQ(canvases.size(), 3u);
  EXPECT_EQ(std::tuple(rgb(canvases[0]), rgb(canvases[1]), rgb(canvases[2])),
            std::tuple(std::vector<std::uint32_t>(8, 0xFF0000), std::vector<std::uint32_t>(8, 0x0000FF),
                       std::vector<std::uint32_t>(16, 0xFF0000)));
}

TEST(CoverDrawingsTest, WithoutAThreadTheDrawingIsMadeHereAndWithoutMemoryNotAtAll) {
  const struct { const char* name; CoverDrawings::Spawn spawn; } cases[] = {
      {"no thread", [](std::function<void()>) -> std::thread {
         throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
       }},
      {"no memory for a thread", [](std::function<void()>) -> std::thread { throw std::bad_alloc(); }},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> canvas(8, 0);
    CoverDrawings drawings(c.spawn);
    CoverPlan plan = plainPlan(pixelOf(0x00FF00), 4);
    CoverRect rect{0, 0, 4, 2, 0, 0};
    drawings.draw(plan, coverPicture(plan, rect), rect, [&] { return CoverDrawings::Canvas{canvas.data(), 16}; });
    EXPECT_EQ(rgb(canvas), std::vector<std::uint32_t>(8, 0x00FF00)) << c.name;  // drawn before draw returned
  }
  CoverDrawings drawings;
  CoverPlan plan = plainPlan(pixelOf(0x00FF00), 4);
  CoverRect rect{0, 0, 4, 2, 0, 0};
  EXPECT_EQ(drawings.draw(plan, coverPicture(plan, rect), rect, [] { return CoverDrawings::Canvas{}; }), 0u);
}

}  // namespace
}  // namespace quorvane::desktop
