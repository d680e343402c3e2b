#include "ocr/tesseract/preprocess.h"

#include <gtest/gtest.h>


namespace quorvane::ocr {
namespace {

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
