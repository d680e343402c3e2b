#include "ocr/reading_plan.h"
#include "ocr/tesseract/preprocess.h"

#include <gtest/gtest.h>

#include "ocr/image/image.h"

namespace quorvane::ocr {
namespace {

TEST(StripsTest, FitOrOverlapAndOwnEveryRowOnce) {
  struct Case {
    std::uint32_t height, maxHeight, overlap;
    std::size_t strips;
  };
  const Case cases[] = {{100, 100, 10, 1}, {101, 100, 10, 2}, {1000, 100, 20, 13}, {64000, 32000, 600, 3}, {5, 100, 10, 1}};
  for (const auto& c : cases) {
    auto strips = stripsFor(c.height, c.maxHeight, c.overlap);
    ASSERT_EQ(strips.size(), c.strips) << c.height;
    EXPECT_EQ(strips.front().top, 0u);
    EXPECT_EQ(strips.back().bottom, c.height);
    std::uint32_t owned = 0;
    for (std::size_t i = 0; i < strips.size(); ++i) {
      const Strip& s = strips[i];
      EXPECT_LE(s.bottom - s.top, c.maxHeight);
      EXPECT_EQ(s.ownTop, owned) << "owned bands must tile the image";
      owned = s.ownBottom;
      // A line up to half the overlap tall, centred in the owned band, lies whole in the strip.
      if (i + 1 < strips.size()) {
        EXPECT_EQ(strips[i + 1].top + c.overlap, s.bottom);
        EXPECT_GE(s.bottom - s.ownBottom, c.overlap / 2);
      }
      if (i > 0) {
        EXPECT_GE(s.ownTop - s.top, c.overlap / 2);
      }
    }
    EXPECT_EQ(owned, c.height);
  }
}

TEST(StripsTest, EachLineBelongsToExactlyOneStrip) {
  auto strips = stripsFor(10000, 3000, 400);
  for (std::uint32_t top = 0; top + 40 < 10000; top += 7) {
    int owners = 0;
    for (const auto& s : strips) owners += stripOwnsLine(s, top, top + 40);
    EXPECT_EQ(owners, 1) << top;
  }
}

// A grey image: ground everywhere, with a filled square of "ink".
PixPtr square(std::uint32_t ground, std::uint32_t ink) {
  PixPtr pix(pixCreate(60, 60, 8));
  pixSetAllArbitrary(pix.get(), ground);
  Box* box = boxCreate(28, 28, 4, 4);
  pixSetInRectArbitrary(pix.get(), box, ink);
  boxDestroy(&box);
  return pix;
}

std::uint32_t at(Pix* pix, int x, int y) {
  l_uint32 value = 0;
  pixGetPixel(pix, x, y, &value);
  return value;
}

TEST(InkOnWhiteTest, EitherPolarityBecomesDarkOnWhite) {
  struct Case {
    const char* what;
    std::uint32_t ground, ink;
  };
  const Case cases[] = {{"dark on white", 255, 0}, {"light on dark", 30, 230}, {"white on mid blue", 122, 255}};
  for (const auto& c : cases) {
    PixPtr pix = square(c.ground, c.ink);
    PixPtr ink = inkOnWhite(pix.get());
    ASSERT_TRUE(ink) << c.what;
    EXPECT_EQ(at(ink.get(), 5, 5), 255u) << c.what;
    EXPECT_LT(at(ink.get(), 29, 29), 40u) << c.what;
  }
}

TEST(GlyphHeightTest, MedianOfCharacterLikePiecesInTheTextPolarity) {
  for (bool lightOnDark : {false, true}) {
    PixPtr pix(pixCreate(300, 100, 8));
    pixSetAllArbitrary(pix.get(), lightOnDark ? 20 : 240);
    const std::uint32_t ink = lightOnDark ? 250 : 10;
    const int heights[] = {8, 9, 9, 12, 9};
    for (int i = 0; i < 5; ++i) {
      Box* box = boxCreate(10 + 20 * i, 20, 6, heights[i]);
      pixSetInRectArbitrary(pix.get(), box, ink);
      boxDestroy(&box);
    }
    Box* rule = boxCreate(0, 80, 300, 3);  // a rule is no glyph
    pixSetInRectArbitrary(pix.get(), rule, ink);
    boxDestroy(&rule);
    EXPECT_EQ(typicalGlyphHeight(pix.get()), 9u) << lightOnDark;
  }
  PixPtr blank(pixCreate(50, 50, 8));
  pixSetAllArbitrary(blank.get(), 255);
  EXPECT_EQ(typicalGlyphHeight(blank.get()), 0u);
}

}  // namespace
}  // namespace quorvane::ocr
