#include "recording-screen/jpeg/banded_jpeg.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "recording-screen/jpeg/turbo_jpeg.h"

namespace quorvane::recording::jpeg {
namespace {

struct Picture {
  std::uint32_t width, height;
  std::size_t stride;
  std::vector<std::uint8_t> bgrx;
  PixelView view() const { return PixelView{bgrx.data(), width, height, stride}; }
};

// A gradient with text-like strokes, plus noise where `noisy`: detail in every
// MCU, so a band joined in the wrong place or with a stale predictor shows.
Picture picture(std::uint32_t width, std::uint32_t height, std::size_t padding = 0, bool noisy = false) {
  Picture p{width, height, width * 4 + padding, {}};
  p.bgrx.assign(p.stride * height, 0xA5);
  unsigned seed = width * 31 + height;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* px = &p.bgrx[y * p.stride + x * 4];
      seed = seed * 1103515245 + 12345;
      bool stroke = (y / 3) % 4 == 0 && (x / 7 + y) % 5 != 0;
      px[0] = noisy ? static_cast<std::uint8_t>(seed >> 16) : static_cast<std::uint8_t>(stroke ? 20 : x * 255 / width);
      px[1] = noisy ? static_cast<std::uint8_t>(seed >> 8) : static_cast<std::uint8_t>(stroke ? 20 : y * 255 / height);
      px[2] = noisy ? static_cast<std::uint8_t>(seed >> 24) : static_cast<std::uint8_t>(stroke ? 200 : 90);
      px[3] = 0;
    }
  }
  return p;
}

struct Decoded {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

std::optional<Decoded> decode(const std::string& jpeg) {
  tjhandle h = tjInitDecompress();
  Decoded d;
  int sub = 0, space = 0;
  auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  bool ok = tjDecompressHeader3(h, data, jpeg.size(), &d.width, &d.height, &sub, &space) == 0 && sub == TJSAMP_420;
  if (ok) {
    d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    ok = tjDecompress2(h, data, jpeg.size(), d.rgb.data(), d.width, 0, d.height, TJPF_RGB, 0) == 0;
  }
  tjDestroy(h);
  if (!ok) return std::nullopt;
  return d;
}

std::size_t count(const std::string& jpeg, unsigned char marker) {
  std::size_t n = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == marker) ++n;
  }
  return n;
}

TEST(PlanBands, CutsAtWholeMcuRowsWithOneRestartIntervalPerBand) {
  struct Case {
    std::uint32_t width, height, wanted;
    BandPlan plan;
  };
  const Case cases[] = {
      {5120, 2880, 2, {2, 1440, 90 * 320}},
      {1920, 1080, 2, {2, 544, 34 * 120}},  // 68 MCU rows, the last one padded
      {1, 80, 2, {2, 48, 3}},               // 5 MCU rows: 3 + 2
      {16, 48, 4, {3, 16, 1}},              // fewer rows than bands wanted
      {100, 17, 2, {2, 16, 7}},
      {64, 16, 2, {1, 16, 0}},              // one MCU row cannot be cut
      {5120, 2880, 1, {1, 2880, 0}},
      {0, 10, 2, {1, 10, 0}},
      {16384, 4096, 2, {1, 4096, 0}},       // a band of 131072 MCUs does not fit a restart interval
  };
  for (const auto& c : cases) {
    BandPlan got = planBands(c.width, c.height, c.wanted);
    EXPECT_EQ(got.bands, c.plan.bands) << c.width << "x" << c.height;
    EXPECT_EQ(got.bandRows, c.plan.bandRows) << c.width << "x" << c.height;
    EXPECT_EQ(got.restartInterval, c.plan.restartInterval) << c.width << "x" << c.height;
  }
}

TEST(EncodeBanded, WritesWhatOneCompressorWritesWithTheSameRestartInterval) {
  struct Case {
    std::uint32_t width, height, bands;
    std::size_t padding;
  };
  const Case cases[] = {
      {320, 240, 2, 0},  {333, 251, 2, 12},  // neither side a multiple of 16; padded rows
      {64, 80, 3, 0},    {200, 48, 4, 4},    // last band shorter, or as long as the others
      {48, 320, 20, 0},                      // more bands than restart markers: RST0..7 wrap
  };
  TurboJpegEncoder single;
  for (const auto& c : cases) {
    Picture p = picture(c.width, c.height, c.padding);
    BandPlan plan = planBands(c.width, c.height, c.bands);
    ASSERT_GE(plan.bands, 2u) << c.width << "x" << c.height;
    auto banded = encodeBanded(p.view(), plan);
    auto reference = encodeBanded(p.view(), BandPlan{1, c.height, plan.restartInterval});
    ASSERT_TRUE(banded && reference) << c.width << "x" << c.height;
    EXPECT_EQ(*banded, *reference) << c.width << "x" << c.height;
    EXPECT_EQ(count(*banded, 0xDD), 1u);  // one DRI
    std::size_t restarts = 0;
    for (unsigned m = 0xD0; m <= 0xD7; ++m) restarts += count(*banded, static_cast<unsigned char>(m));
    EXPECT_EQ(restarts, plan.bands - 1);

    // Restarts change the coding, not the picture: the same pixels as the
    // single-threaded encoder's file, at the full size.
    auto whole = single.encodeJpeg(p.view());
    ASSERT_TRUE(whole);
    auto a = decode(*banded), b = decode(*whole);
    ASSERT_TRUE(a && b) << c.width << "x" << c.height;
    EXPECT_EQ(a->width, static_cast<int>(c.width));
    EXPECT_EQ(a->height, static_cast<int>(c.height));
    EXPECT_TRUE(a->rgb == b->rgb) << c.width << "x" << c.height;
  }
}

TEST(EncodeBanded, RefusesWhatItCannotEncode) {
  Picture p = picture(32, 64);
  EXPECT_FALSE(encodeBanded(PixelView{nullptr, 32, 64, 128}, BandPlan{2, 32, 4}));
  EXPECT_FALSE(encodeBanded(PixelView{p.bgrx.data(), 0, 64, 128}, BandPlan{}));
  EXPECT_FALSE(encodeBanded(PixelView{p.bgrx.data(), 32, 0, 128}, BandPlan{}));
  EXPECT_FALSE(encodeBanded(p.view(), BandPlan{0, 64, 0}));
  // Bands that would start past the last row.
  EXPECT_FALSE(encodeBanded(p.view(), BandPlan{3, 32, 4}));
}

TEST(EncodeBanded, FailsAFrameWhoseBandOutgrowsTheRecordCap) {
  // Noise at quality 92 takes about a byte a pixel: 4000 x 2400 is over
  // 8 MiB. Refused, not truncated, whether it is one band or the first of two.
  const std::uint32_t width = 4000, height = 2400;
  Picture noise = picture(width, height, 0, true);
  EXPECT_FALSE(encodeBanded(noise.view(), BandPlan{1, height, 0}));
  const std::uint32_t bigBand = 2384;  // 149 MCU rows, and a small second band
  EXPECT_FALSE(encodeBanded(noise.view(), BandPlan{2, bigBand, (bigBand / kMcuSide) * (width / kMcuSide)}));
  // Cut in two the bands fit, and so the frame is the writer's to refuse.
  auto halves = encodeBanded(noise.view(), planBands(width, height, 2));
  ASSERT_TRUE(halves);
  EXPECT_GT(halves->size(), std::size_t{8} * 1024 * 1024);
  // The same size with the detail a screen has encodes small.
  Picture screen = picture(width, height);
  auto calm = encodeBanded(screen.view(), planBands(width, height, 2));
  ASSERT_TRUE(calm);
  EXPECT_LT(calm->size(), std::size_t{8} * 1024 * 1024);
}

TEST(BandedJpegEncoder, BandsOnlyPicturesAboveItsThreshold) {
  Picture small = picture(160, 120), large = picture(320, 240);
  BandedJpegEncoder encoder(2, 320 * 240);
  TurboJpegEncoder single;
  // Below the threshold: exactly the single-threaded file, without restarts.
  EXPECT_EQ(encoder.encodeJpeg(small.view()), single.encodeJpeg(small.view()));
  auto banded = encoder.encodeJpeg(large.view());
  ASSERT_TRUE(banded);
  EXPECT_EQ(*banded, encodeBanded(large.view(), planBands(320, 240, 2)));
  EXPECT_EQ(count(*banded, 0xD0), 1u);
  // Used frame after frame, it gives the same file for the same picture.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(encoder.encodeJpeg(large.view()), banded);
}

}  // namespace
}  // namespace quorvane::recording::jpeg
