#include "ocr/tesseract/preprocess.h"

#include <array>
#include <vector>

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

// Grey ground with filled rectangles of ink.
PixPtr drawn(int width, int height, l_uint32 ground, l_uint32 ink, const std::vector<std::array<int, 4>>& boxes) {
  PixPtr pix(pixCreate(width, height, 8));
  pixSetAllArbitrary(pix.get(), ground);
  for (const auto& [x, y, w, h] : boxes) {
    Box* box = boxCreate(x, y, w, h);
    pixSetInRectArbitrary(pix.get(), box, ink);
    boxDestroy(&box);
  }
  return pix;
}

TEST(InkOnWhiteTest, EitherPolarityBecomesDarkOnWhite) {
  const std::pair<l_uint32, l_uint32> cases[] = {{255, 0}, {30, 230}, {122, 255}};  // ground, ink
  for (const auto& [ground, ink] : cases) {
    PixPtr prepared = inkOnWhite(drawn(60, 60, ground, ink, {{28, 28, 4, 4}}).get());
    ASSERT_TRUE(prepared) << ground;
    l_uint32 paper = 0, glyph = 0;
    pixGetPixel(prepared.get(), 5, 5, &paper);
    pixGetPixel(prepared.get(), 29, 29, &glyph);
    EXPECT_EQ(paper, 255u) << ground;
    EXPECT_LT(glyph, 40u) << ground;
  }
}

TEST(GlyphHeightTest, MedianOfCharacterLikePiecesInTheTextPolarity) {
  // Five glyphs and a rule, which is no glyph.
  const std::vector<std::array<int, 4>> boxes = {{10, 20, 6, 8},  {30, 20, 6, 9},  {50, 20, 6, 9},
                                                 {70, 20, 6, 12}, {90, 20, 6, 9}, {0, 80, 300, 3}};
  EXPECT_EQ(typicalGlyphHeight(drawn(300, 100, 240, 10, boxes).get()), 9u);
  EXPECT_EQ(typicalGlyphHeight(drawn(300, 100, 20, 250, boxes).get()), 9u);
  EXPECT_EQ(typicalGlyphHeight(drawn(50, 50, 255, 255, {}).get()), 0u);
}

}  // namespace
}  // namespace quorvane::ocr
