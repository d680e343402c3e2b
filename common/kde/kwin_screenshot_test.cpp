#include "common/kde/kwin_screenshot.h"

#include <gtest/gtest.h>

namespace quorvane::kde {
namespace {

ShotResults results(std::uint32_t width, std::uint32_t height, std::uint32_t stride, std::uint32_t format) {
  return {{"type", std::string("raw")}, {"width", width}, {"height", height}, {"stride", stride},
          {"format", format},           {"scale", 1.0},   {"screen", std::string("Virtual-0")}};
}

TEST(ShotLayoutTest, TakesRawImagesOfKnownFormatsWithinTheBounds) {
  using Layout = std::optional<ShotLayout>;
  auto with = [](ShotResults r, const char* key, ShotValue value) {
    r[key] = std::move(value);
    return r;
  };
  auto without = [](ShotResults r, const char* key) {
    r.erase(key);
    return r;
  };
  const auto good = results(1280, 720, 5120, kShotArgb32);
  const struct { const char* name; ShotResults results; Layout expected; } cases[] = {
      {"screen", good, ShotLayout{1280, 720, 5120, kShotArgb32}},
      {"byte order", results(2, 1, 8, kShotRgba8888Premultiplied), ShotLayout{2, 1, 8, kShotRgba8888Premultiplied}},
      {"byte order, no alpha", results(2, 1, 8, kShotRgbx8888), ShotLayout{2, 1, 8, kShotRgbx8888}},
      {"word order with alpha", results(2, 1, 8, kShotArgb32Premultiplied),
       ShotLayout{2, 1, 8, kShotArgb32Premultiplied}},
      {"padded rows", results(3, 2, 16, kShotRgb32), ShotLayout{3, 2, 16, kShotRgb32}},
      {"largest side", results(kMaxShotSide, 1, kMaxShotSide * 4, kShotRgb32),
       ShotLayout{kMaxShotSide, 1, kMaxShotSide * 4, kShotRgb32}},
      {"side over", results(kMaxShotSide + 1, 1, (kMaxShotSide + 1) * 4, kShotRgb32), std::nullopt},
      {"pixels over", results(kMaxShotSide, kMaxShotSide, kMaxShotSide * 4, kShotRgb32), std::nullopt},
      {"no width", without(good, "width"), std::nullopt},
      {"no stride", without(good, "stride"), std::nullopt},
      {"no type", without(good, "type"), std::nullopt},
      {"another type", with(good, "type", std::string("png")), std::nullopt},
      {"width as text", with(good, "width", std::string("1280")), std::nullopt},
      {"zero height", results(1280, 0, 5120, kShotArgb32), std::nullopt},
      {"16-bit format", results(1280, 720, 2560, 7), std::nullopt},
      {"rows too short", results(1280, 720, 5116, kShotArgb32), std::nullopt},
      {"rows not whole words", results(3, 2, 13, kShotRgb32), std::nullopt},
      {"rows too long for the bound", results(1, kMaxShotSide, kMaxShotSide * 4 * 2048, kShotRgb32), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(shotLayout(c.results), c.expected) << c.name;
}

TEST(ShotTest, ReadsEitherByteOrderAsRgb) {
  // Two pixels a row, rows padded to 12 bytes; the pixel at (1, 1) is read.
  std::vector<std::uint8_t> bytes(24, 0xEE);
  const std::uint8_t pixel[4] = {0x11, 0x22, 0x33, 0x80};
  std::copy(pixel, pixel + 4, bytes.begin() + 12 + 4);
  const struct { std::uint32_t format; std::uint32_t expected; } cases[] = {
      {kShotRgb32, 0x332211}, {kShotArgb32, 0x332211}, {kShotArgb32Premultiplied, 0x332211},
      {kShotRgbx8888, 0x112233}, {kShotRgba8888, 0x112233}, {kShotRgba8888Premultiplied, 0x112233}};
  for (const auto& c : cases) {
    EXPECT_EQ(Shot({{2, 2, 12, c.format}, bytes}).rgb(1, 1), c.expected) << c.format;
  }
}

}  // namespace
}  // namespace quorvane::kde
