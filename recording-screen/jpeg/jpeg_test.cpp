#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "recording-screen/jpeg/banded_jpeg.h"
#include "recording-screen/jpeg/row_jpeg.h"
#include "recording-screen/jpeg/turbo_jpeg.h"

namespace quorvane::recording::jpeg {
namespace {

struct Picture {
  std::uint32_t width, height;
  std::size_t stride;
  std::vector<std::uint8_t> bgrx;
  PixelView view() const { return PixelView{bgrx.data(), width, height, stride, std::nullopt}; }
};

// A gradient with text-like strokes, or noise: detail in every MCU, so a band
// joined in the wrong place or with a stale predictor shows.
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
    }
  }
  return p;
}

// RGB pixels of a 4:2:0 JPEG of the given size; empty when it is anything else.
std::vector<unsigned char> decode(const std::string& jpeg, std::uint32_t width, std::uint32_t height) {
  tjhandle h = tjInitDecompress();
  int w = 0, hh = 0, sub = 0, space = 0;
  auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  std::vector<unsigned char> rgb;
  if (tjDecompressHeader3(h, data, jpeg.size(), &w, &hh, &sub, &space) == 0 && sub == TJSAMP_420 &&
      w == static_cast<int>(width) && hh == static_cast<int>(height)) {
    rgb.resize(std::size_t{width} * height * 3);
    if (tjDecompress2(h, data, jpeg.size(), rgb.data(), w, 0, hh, TJPF_RGB, 0) != 0) rgb.clear();
  }
  tjDestroy(h);
  return rgb;
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
      {64, 16, 2, {1, 16, 0}},              // one MCU row cannot be cut
      {5120, 2880, 1, {1, 2880, 0}},
      {0, 10, 2, {1, 10, 0}},
      {16384, 4096, 2, {1, 4096, 0}},  // a band of 131072 MCUs does not fit a restart interval
  };
  for (const auto& c : cases) {
    BandPlan got = planBands(c.width, c.height, c.wanted);
    EXPECT_EQ(std::tie(got.bands, got.bandRows, got.restartInterval),
              std::tie(c.plan.bands, c.plan.bandRows, c.plan.restartInterval))
        << c.width << "x" << c.height;
  }
}

TEST(EncodeBanded, WritesWhatOneCompressorWritesWithTheSameRestartIntervalAndTheSamePixels) {
  struct Case {
    std::uint32_t width, height, bands;
    std::size_t padding;
  };
  const Case cases[] = {
      {333, 251, 2, 12},  // neither side a multiple of 16; padded rows
      {64, 80, 3, 0},     // last band shorter
      {48, 320, 20, 0},   // more bands than restart markers: RST0..7 wrap
  };
  TurboJpegEncoder single;
  for (const auto& c : cases) {
    Picture p = picture(c.width, c.height, c.padding);
    BandPlan plan = planBands(c.width, c.height, c.bands);
    auto banded = encodeBanded(p.view(), plan);
    auto reference = encodeBanded(p.view(), BandPlan{1, c.height, plan.restartInterval});
    ASSERT_TRUE(banded && reference) << c.width << "x" << c.height;
    EXPECT_EQ(*banded, *reference) << c.width << "x" << c.height;
    std::size_t restarts = 0;
    for (unsigned m = 0xD0; m <= 0xD7; ++m) restarts += count(*banded, static_cast<unsigned char>(m));
    EXPECT_EQ(restarts, plan.bands - 1);
    auto pixels = decode(*banded, c.width, c.height);
    EXPECT_FALSE(pixels.empty());
    EXPECT_TRUE(pixels == decode(*single.encodeJpeg(p.view()), c.width, c.height)) << c.width << "x" << c.height;
  }
}

TEST(Encoders, RefuseWhatTheyCannotEncode) {
  Picture p = picture(32, 64);
  TurboJpegEncoder single;
  for (const PixelView& bad : {PixelView{nullptr, 32, 64, 128, std::nullopt}, PixelView{p.bgrx.data(), 0, 64, 128, std::nullopt},
                               PixelView{p.bgrx.data(), 32, 0, 128, std::nullopt}}) {
    EXPECT_FALSE(encodeBanded(bad, BandPlan{2, 32, 4}));
    EXPECT_FALSE(single.encodeJpeg(bad));
  }
  EXPECT_FALSE(encodeBanded(p.view(), BandPlan{0, 64, 0}));
  EXPECT_FALSE(encodeBanded(p.view(), BandPlan{3, 32, 4}));  // bands that would start past the last row
}

TEST(EncodeBanded, FailsAFrameWhoseBandOutgrowsTheRecordCap) {
  // Noise at quality 92 takes about a byte a pixel: 4000 x 2400 is over 8 MiB.
  // Refused, not truncated, whether it is one band or the first of two.
  const std::uint32_t width = 4000, height = 2400, bigBand = 2384;
  Picture noise = picture(width, height, 0, true);
  EXPECT_FALSE(encodeBanded(noise.view(), BandPlan{1, height, 0}));
  EXPECT_FALSE(encodeBanded(noise.view(), BandPlan{2, bigBand, (bigBand / kMcuSide) * (width / kMcuSide)}));
  // Cut in two the bands fit, and so the frame is the writer's to refuse.
  auto halves = encodeBanded(noise.view(), planBands(width, height, 2));
  ASSERT_TRUE(halves);
  EXPECT_GT(halves->size(), std::size_t{8} * 1024 * 1024);
}

// One encoder serves every frame: its kept buffer grows and shrinks with the
// pictures, and rows are read with their stride.
TEST(TurboJpegEncoder, AKeptEncoderWritesWhatAFreshOneWrites) {
  struct Case {
    std::uint32_t width, height;
    std::size_t padding;
    bool noise;
  };
  const Case cases[] = {{16, 16, 0, false}, {640, 480, 0, true}, {16, 16, 8, true}, {641, 3, 0, true},
                        {800, 600, 32, true}, {1, 1, 0, false}};
  TurboJpegEncoder kept;
  for (const auto& c : cases) {
    Picture padded = picture(c.width, c.height, c.padding, c.noise);
    Picture plain = picture(c.width, c.height, 0, c.noise);
    auto jpeg = kept.encodeJpeg(padded.view());
    ASSERT_TRUE(jpeg) << c.width << "x" << c.height;
    EXPECT_TRUE(jpeg == TurboJpegEncoder().encodeJpeg(plain.view())) << c.width << "x" << c.height;
    EXPECT_FALSE(decode(*jpeg, c.width, c.height).empty()) << c.width << "x" << c.height;
  }
}

TEST(ChangedMcuRows, MapPixelRowsToTheMcuRowsTheyTouch) {
  struct Case {
    std::vector<RowSpan> changed;
    std::vector<bool> rows;  // of a picture 40 rows high: 16 + 16 + a partial 8
  };
  const Case cases[] = {
      {{}, {false, false, false}},
      {{{0, 1}}, {true, false, false}},
      {{{15, 17}}, {true, true, false}},
      {{{16, 32}}, {false, true, false}},
      {{{39, 40}}, {false, false, true}},
      {{{32, 100}}, {false, false, true}},  // cut at the picture's end
      {{{5, 5}, {50, 60}}, {false, false, false}},
      {{{0, 2}, {33, 34}}, {true, false, true}},
  };
  for (const auto& c : cases) EXPECT_EQ(changedMcuRows(c.changed, 40), c.rows) << c.changed.size();
}

// A spliced file is what one compressor writes with a restart interval of one
// MCU row, whichever rows changed, the restart numbers wrapping past RST7.
TEST(RowJpegEncoder, SplicedFilesAreTheFullEncodeOfThePicture) {
  const std::uint32_t width = 72, height = 20 * 16 - 5;  // 20 MCU rows, the last partial
  const std::uint32_t interval = (width + 15) / 16;
  struct Case {
    const char* name;
    std::uint32_t top, bottom;
  };
  const Case cases[] = {{"first row", 0, 3}, {"last row", height - 2, height}, {"middle rows", 150, 190},
                        {"across a row boundary", 31, 33}};
  for (std::uint64_t bandedFrom : {std::uint64_t{0}, std::uint64_t{1} << 40}) {
    Picture p = picture(width, height, 8);
    RowJpegEncoder encoder(bandedFrom);
    ASSERT_EQ(encoder.encodeJpeg(p.view()), compressRegion(p.view(), 0, height, interval));
    for (const auto& c : cases) {
      for (std::uint32_t y = c.top; y < c.bottom; ++y) p.bgrx[y * p.stride + 5 * 4] ^= 0xFF;
      PixelView view = p.view();
      view.changed = std::vector<RowSpan>{{c.top, c.bottom}};
      auto spliced = encoder.encodeJpeg(view);
      auto full = compressRegion(p.view(), 0, height, interval);
      ASSERT_TRUE(spliced && full) << c.name;
      EXPECT_TRUE(*spliced == *full) << c.name;
      EXPECT_TRUE(decode(*spliced, width, height) == decode(*full, width, height)) << c.name;
    }
  }
}

TEST(RowJpegEncoder, KeepsTheRowsItIsToldDidNotChange) {
  Picture p = picture(64, 64);
  RowJpegEncoder encoder(0);
  auto before = encoder.encodeJpeg(p.view());
  p.bgrx[40 * p.stride] ^= 0xFF;  // in MCU row 2, which the view does not name
  PixelView view = p.view();
  view.changed = std::vector<RowSpan>{{0, 1}};
  EXPECT_EQ(encoder.encodeJpeg(view), before);
  view.changed = std::vector<RowSpan>{{0, 64}};  // most rows: the whole picture again
  EXPECT_EQ(encoder.encodeJpeg(view), compressRegion(p.view(), 0, 64, 4));
}

}  // namespace
}  // namespace quorvane::recording::jpeg
