#include "ocr/ppocr/reader.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include "ocr/image/pix.h"
#include "ocr/neural_plan.h"

namespace quorvane::ocr {
namespace {

// OpenCV computes garbage without an error for a width whose rewrite missed
// an operation (the sequence as long as the channels is one), so every width
// shipped reads a known line.
TEST(PpocrReaderTest, EveryRecogniserWidthReadsAKnownLine) {
  auto opened = PpocrReader::open(modelFolder());
  ASSERT_EQ(opened.index(), 0u) << std::get<1>(opened);
  PixPtr line(pixRead(QUORVANE_PPOCR_TESTDATA "/line.png"));
  ASSERT_TRUE(line);
  for (std::uint32_t width : kLineWidths) {
    auto read = std::get<0>(opened)->readLine(line.get(), width);
    ASSERT_EQ(read.index(), 0u) << std::get<1>(read);
    EXPECT_EQ(std::get<0>(read).text, "文字识别 Ctrl+A") << width;
    EXPECT_GT(std::get<0>(read).confidence, 0.9f) << width;
  }
}

TEST(PpocrReaderTest, AWidthNotShippedIsAMissingFileNamedInFull) {
  auto opened = PpocrReader::open(modelFolder());
  ASSERT_EQ(opened.index(), 0u);
  PixPtr line(pixRead(QUORVANE_PPOCR_TESTDATA "/line.png"));
  auto read = std::get<0>(opened)->readLine(line.get(), 100);
  ASSERT_EQ(read.index(), 1u);
  EXPECT_EQ(std::get<1>(read), "缺少文字识别模型文件 " + modelFolder() + "/rec-100.onnx");
}

}  // namespace
}  // namespace quorvane::ocr
