#include "ocr/ppocr/reader.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include "ocr/image/pix.h"
#include "ocr/neural_plan.h"

namespace quorvane::ocr {
namespace {

// The shipped networks and a line of known text.
class PpocrReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    auto opened = PpocrReader::open(modelFolder());
    ASSERT_EQ(opened.index(), 0u) << std::get<1>(opened);
    reader_ = std::move(std::get<0>(opened));
    line_.reset(pixRead(QUORVANE_PPOCR_TESTDATA "/line.png"));
    ASSERT_TRUE(line_);
  }

  std::unique_ptr<PpocrReader> reader_;
  PixPtr line_;
};

// OpenCV computes garbage without an error for a width whose rewrite missed
// an operation (the sequence as long as the channels is one), so every width
// shipped reads a known line.
TEST_F(PpocrReaderTest, EveryRecogniserWidthReadsAKnownLine) {
  for (std::uint32_t width : kLineWidths) {
    auto read = reader_->readLine(line_.get(), width);
    ASSERT_EQ(read.index(), 0u) << std::get<1>(read);
    EXPECT_EQ(std::get<0>(read).text, "文字识别 Ctrl+A") << width;
    EXPECT_GT(std::get<0>(read).confidence, 0.9f) << width;
  }
}

// A thread's reader keeps the network of each width it meets, and reads a
// line of a larger image where its box says.
TEST_F(PpocrReaderTest, ALineReaderReadsLinesOfAnImageByTheirBoxes) {
  const double width = pixGetWidth(line_.get()), height = pixGetHeight(line_.get());
  PixPtr page(pixCreate(l_int32(width) + 100, l_int32(height) * 3, 8));
  pixSetAll(page.get());
  pixRasterop(page.get(), 100, l_int32(height), l_int32(width), l_int32(height), PIX_SRC, line_.get(), 0, 0);
  PpocrReader::LineReader reader(*reader_, page.get());
  const PixelBox box{100, height, 100 + width, 2 * height};
  auto read = reader.read(box);
  ASSERT_EQ(read.index(), 0u) << std::get<1>(read);
  ASSERT_TRUE(std::get<0>(read).has_value());
  EXPECT_EQ(std::get<0>(read)->text, "文字识别 Ctrl+A");
  EXPECT_EQ(reader.widths(), std::vector<std::uint32_t>{reader.widthFor(box)});
  // Blank ground and a box outside the image read as nothing.
  const PixelBox blank{0, 0, width, height}, outside{-50, -50, -10, -10};
  for (const PixelBox& nothing : {blank, outside}) {
    auto empty = reader.read(nothing);
    ASSERT_EQ(empty.index(), 0u) << std::get<1>(empty);
    EXPECT_EQ(std::get<0>(empty).has_value(), false);
  }
}

// The detector sees a screenshot without most of its flat ground; the lines
// it finds are still where they are in the image.
TEST_F(PpocrReaderTest, LinesAmidFlatGroundAreFoundWhereTheyAre) {
  const l_int32 width = pixGetWidth(line_.get()), height = pixGetHeight(line_.get());
  // The line's ink, in its own pixels.
  l_int32 left = width, top = height, right = 0, bottom = 0;
  for (l_int32 y = 0; y < height; ++y) {
    for (l_int32 x = 0; x < width; ++x) {
      l_uint32 grey = 0;
      pixGetPixel(line_.get(), x, y, &grey);
      if (grey >= 128) continue;
      left = std::min(left, x), top = std::min(top, y);
      right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
    }
  }
  PixPtr page(pixCreate(1280, 800, 8));
  pixSetAll(page.get());
  const std::pair<l_int32, l_int32> places[] = {{40, 30}, {900, 600}};
  for (const auto& [x, y] : places) pixRasterop(page.get(), x, y, width, height, PIX_SRC, line_.get(), 0, 0);
  std::vector<PixelBox> found;
  auto failed = reader_->detect(page.get(), 14, [&](std::vector<PixelBox> lines) {
    found.insert(found.end(), lines.begin(), lines.end());
  });
  ASSERT_EQ(failed, std::nullopt);
  // Ground alone, squeezed to a few strides, holds no line.
  PixPtr blank(pixCreate(1280, 800, 8));
  pixSetAll(blank.get());
  std::size_t blankLines = 0;
  auto blankFailed = reader_->detect(blank.get(), 14, [&](std::vector<PixelBox> lines) {
    blankLines += lines.size();
  });
  EXPECT_EQ(std::make_tuple(blankFailed, blankLines), std::make_tuple(std::nullopt, std::size_t{0}));
  ASSERT_EQ(found.size(), 2u);
  std::sort(found.begin(), found.end(), [](const PixelBox& a, const PixelBox& b) { return a.top < b.top; });
  // The boxes hold the ink with the margin the detector leaves: a few pixels, not the ground squeezed out.
  constexpr double kMargin = 12;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const auto [x, y] = places[i];
    const PixelBox& box = found[i];
    EXPECT_NEAR(box.left, x + left, kMargin) << i;
    EXPECT_NEAR(box.top, y + top, kMargin) << i;
    EXPECT_NEAR(box.right, x + right, kMargin) << i;
    EXPECT_NEAR(box.bottom, y + bottom, kMargin) << i;
  }
}

TEST_F(PpocrReaderTest, AWidthNotShippedIsAMissingFileNamedInFull) {
  auto read = reader_->readLine(line_.get(), 100);
  ASSERT_EQ(read.index(), 1u);
  EXPECT_EQ(std::get<1>(read), "缺少文字识别模型文件 " + modelFolder() + "/rec-100.onnx");
}

}  // namespace
}  // namespace quorvane::ocr
