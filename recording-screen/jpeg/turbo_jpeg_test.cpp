#include "recording-screen/jpeg/turbo_jpeg.h"

#include <cstdlib>

#include <gtest/gtest.h>
#include <turbojpeg.h>

namespace quorvane::recording::jpeg {
namespace {

struct Decoded {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

std::optional<Decoded> decode(const std::string& jpeg) {
  tjhandle h = tjInitDecompress();
  Decoded d;
  int sub = 0, space = 0;
  auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  if (tjDecompressHeader3(h, data, jpeg.size(), &d.width, &d.height, &sub, &space) != 0) {
    tjDestroy(h);
    return std::nullopt;
  }
  d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
  int rc = tjDecompress2(h, data, jpeg.size(), d.rgb.data(), d.width, 0, d.height, TJPF_RGB, 0);
  tjDestroy(h);
  if (rc != 0) return std::nullopt;
  return d;
}

TEST(TurboJpegEncoder, EncodesBgrxRowsWithTheirStrideAtFullSize) {
  // Left half red, right half blue, with padding at the end of each row that must be skipped.
  const std::uint32_t width = 64, height = 48;
  const std::size_t stride = width * 4 + 32;
  std::vector<std::uint8_t> pixels(stride * height, 0x55);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[y * stride + x * 4];
      bool left = x < width / 2;
      p[0] = left ? 0 : 255;  // blue
      p[1] = 0;
      p[2] = left ? 255 : 0;  // red
      p[3] = 0;
    }
  }
  TurboJpegEncoder encoder;
  auto jpeg = encoder.encodeJpeg(PixelView{pixels.data(), width, height, stride});
  ASSERT_TRUE(jpeg);
  ASSERT_GE(jpeg->size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>((*jpeg)[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>((*jpeg)[1]), 0xD8);
  auto d = decode(*jpeg);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->width, 64);
  EXPECT_EQ(d->height, 48);
  const unsigned char* red = d->at(8, 24);
  const unsigned char* blue = d->at(56, 24);
  EXPECT_GT(red[0], 230);
  EXPECT_LT(red[2], 25);
  EXPECT_GT(blue[2], 230);
  EXPECT_LT(blue[0], 25);
}

TEST(TurboJpegEncoder, RefusesPicturesWithoutPixels) {
  std::vector<std::uint8_t> one(4, 0);
  TurboJpegEncoder encoder;
  EXPECT_FALSE(encoder.encodeJpeg(PixelView{nullptr, 1, 1, 4}));
  EXPECT_FALSE(encoder.encodeJpeg(PixelView{one.data(), 0, 1, 4}));
  EXPECT_FALSE(encoder.encodeJpeg(PixelView{one.data(), 1, 0, 4}));
  EXPECT_TRUE(encoder.encodeJpeg(PixelView{one.data(), 1, 1, 4}));
}

TEST(TurboJpegEncoder, ReusesOneHandleForManyFrames) {
  std::vector<std::uint8_t> pixels(16 * 16 * 4, 0x80);
  TurboJpegEncoder encoder;
  auto first = encoder.encodeJpeg(PixelView{pixels.data(), 16, 16, 64});
  for (int i = 0; i < 20; ++i) EXPECT_EQ(encoder.encodeJpeg(PixelView{pixels.data(), 16, 16, 64}), first);
}

TEST(TurboJpegEncoder, AKeptBufferServesPicturesOfEverySizeAndDetail) {
  // Noise compresses worst; sizes go up and down so the kept buffer must grow and be reused.
  struct Size {
    std::uint32_t width, height;
    bool noise;
  };
  const Size sizes[] = {{16, 16, false}, {640, 480, true}, {16, 16, true}, {641, 3, true}, {800, 600, true},
                        {1, 1, false}};
  TurboJpegEncoder kept;
  unsigned seed = 1;
  for (const auto& s : sizes) {
    std::vector<std::uint8_t> pixels(std::size_t{s.width} * s.height * 4, 0x80);
    if (s.noise) {
      for (auto& p : pixels) p = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    }
    PixelView view{pixels.data(), s.width, s.height, std::size_t{s.width} * 4};
    auto jpeg = kept.encodeJpeg(view);
    ASSERT_TRUE(jpeg) << s.width << "x" << s.height;
    EXPECT_TRUE(jpeg == TurboJpegEncoder().encodeJpeg(view)) << s.width << "x" << s.height;
    auto d = decode(*jpeg);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->width, static_cast<int>(s.width));
    EXPECT_EQ(d->height, static_cast<int>(s.height));
  }
}

}  // namespace
}  // namespace quorvane::recording::jpeg
