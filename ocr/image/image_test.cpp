#include "ocr/image/image.h"

#include <gtest/gtest.h>

#include "ocr/image/exif.h"
#include "ocr/image/jpeg_scans.h"
#include "ocr/image/pix.h"
#include "tests/support/progressive_jpeg.h"

namespace quorvane::ocr {
namespace {

std::string encode(Pix* pix, l_int32 format) {
  l_uint8* data = nullptr;
  size_t size = 0;
  if (pixWriteMem(&data, &size, pix, format) != 0) return {};
  std::string bytes(reinterpret_cast<char*>(data), size);
  lept_free(data);
  return bytes;
}

// 40 x 20 of ground with a 4 x 4 block of ink at (2, 2).
PixPtr marked(l_int32 depth, l_uint32 ground, l_uint32 ink) {
  PixPtr pix(pixCreate(40, 20, depth));
  pixSetAllArbitrary(pix.get(), ground);
  Box* box = boxCreate(2, 2, 4, 4);
  pixSetInRectArbitrary(pix.get(), box, ink);
  boxDestroy(&box);
  return pix;
}

// What a test asks of a decoded bitmap: its status, size and depth, and whether it is dark at one point.
using Looks = std::tuple<Decoded::Status, std::uint32_t, std::uint32_t, l_int32, bool>;

Looks looksOf(const Decoded& decoded, int x, int y) {
  if (decoded.status != Decoded::Status::ok) return {decoded.status, 0, 0, 0, false};
  l_uint32 value = 255;
  pixGetPixel(pixOf(decoded.bitmap), x, y, &value);
  return {decoded.status, decoded.bitmap.width, decoded.bitmap.height, pixGetDepth(pixOf(decoded.bitmap)), value < 80};
}

Looks greyBitmap(std::uint32_t width, std::uint32_t height, bool dark) {
  return {Decoded::Status::ok, width, height, 8, dark};
}

TEST(DecodeImageTest, EveryFormatBecomesGreyOfTheSameSizeOnWhite) {
  PixPtr rgb = marked(32, 0xffffff00, 0), grey = marked(8, 255, 0), clear = marked(32, 0, 0xff);
  pixSetSpp(clear.get(), 4);  // transparent black ground, opaque black ink
  PixPtr paletted(pixConvertRGBToColormap(rgb.get(), 1));
  const std::tuple<const char*, Pix*, l_int32> cases[] = {
      {"png", rgb.get(), IFF_PNG},   {"grey png", grey.get(), IFF_PNG}, {"paletted png", paletted.get(), IFF_PNG},
      {"jpeg", rgb.get(), IFF_JFIF_JPEG}, {"gif", paletted.get(), IFF_GIF}, {"tiff", rgb.get(), IFF_TIFF_ZIP},
      {"bmp", rgb.get(), IFF_BMP},   {"webp", rgb.get(), IFF_WEBP},   {"pnm", grey.get(), IFF_PNM},
      {"transparent png", clear.get(), IFF_PNG}};
  for (const auto& [what, pix, format] : cases) {
    Decoded decoded = decodeImage(encode(pix, format));
    EXPECT_EQ(looksOf(decoded, 3, 3), greyBitmap(40, 20, true)) << what;
    EXPECT_EQ(looksOf(decoded, 30, 10), greyBitmap(40, 20, false)) << what << ": ground";
  }
}

// A valid progressive grey JPEG with one scan per AC coefficient and bit
// (695 scans): every decoder pass is legal, so only a scan limit stops it.
std::string manyScanJpeg() {
  std::vector<jpeg_scan_info> script{{1, {0}, 0, 0, 0, 1}, {1, {0}, 0, 0, 1, 0}};
  for (int k = 1; k < 64; ++k) {
    script.push_back({1, {0}, k, k, 0, 10});
    for (int bit = 9; bit >= 0; --bit) script.push_back({1, {0}, k, k, bit + 1, bit});
  }
  return test::progressiveGreyJpeg(256, script);
}

// Refused from the header or structure, before anything of the claimed size is decoded.
TEST(DecodeImageTest, RefusesWhatIsNoImageOrCostsTooMuch) {
  std::string png = encode(marked(8, 255, 0).get(), IFF_PNG), claimsHuge = png;
  const char side[4] = {0, 1, char(0x86), char(0xA0)};  // IHDR: 100000 x 100000
  claimsHuge.replace(16, 4, side, 4).replace(20, 4, side, 4);
  // One GIF frame of 65535 x 65535 in a 10 x 10 screen.
  const std::string gifBomb("GIF89a\x0a\0\x0a\0\0\0\0\x2c\0\0\0\0\xff\xff\xff\xff\0\x02\x02\x4c\x01\0\x3b", 29);
  const std::string scanBomb = manyScanJpeg();
  // The same behind TEM, which has no length, and a comment holding a false end of image where a
  // walker that gave TEM a length would land.
  std::string comment(65533, 'c');
  comment.replace(65530, 2, "\xFF\xD9");
  const std::string hiddenBomb = "\xFF\xD8\xFF\x01\xFF\xFE\xFF\xFF" + comment + scanBomb.substr(2);
  const std::pair<const char*, std::string> cases[] = {
      {"text", "this is not an image at all"}, {"short", "\x89PNG"}, {"truncated png", png.substr(0, png.size() / 2)},
      {"header over the pixel cap", claimsHuge}, {"gif frames over the cap", gifBomb}, {"jpeg scan bomb", scanBomb},
      {"jpeg scan bomb behind TEM", hiddenBomb}};
  for (const auto& [what, bytes] : cases) EXPECT_EQ(decodeImage(bytes).status, Decoded::Status::notAnImage) << what;

  EXPECT_EQ(std::pair(jpegScans(hiddenBomb).scans, jpegScans(hiddenBomb).coefficientBytes),
            std::pair(std::uint64_t{695}, std::uint64_t{256 * 256 * 2}));
  const std::pair<JpegScans, bool> limits[] = {{{1, std::uint64_t{1} << 40}, true},
                                               {{kMaxJpegScans, kMaxJpegScanWork / kMaxJpegScans}, true},
                                               {{kMaxJpegScans + 1, 1}, false},
                                               {{10, kMaxJpegScanWork / 10 + 1}, false}};
  for (const auto& [scans, within] : limits) EXPECT_EQ(jpegWithinScanLimits(scans), within) << scans.scans;
  EXPECT_EQ(gifPixels(gifBomb.substr(0, 13) + ";"), std::nullopt);
}

std::string be16(unsigned v) { return {char(v >> 8), char(v & 0xFF)}; }
// A big-endian TIFF block whose IFD0 holds Make, then the given tag, type and value.
std::string tiff(unsigned tag, unsigned type, unsigned value) {
  auto u32 = [](unsigned v) { return be16(0) + be16(v); };
  return "MM" + be16(42) + u32(8) + be16(2) + be16(0x010F) + be16(2) + u32(1) + u32(0) + be16(tag) + be16(type) +
         u32(1) + be16(value) + be16(0) + u32(0);
}

// The JPEG with an EXIF APP1 holding the TIFF block after its first segment (APP0).
std::string withExif(const std::string& jpeg, const std::string& tiffBlock) {
  const std::string body = std::string("Exif\0\0", 6) + tiffBlock;
  const size_t afterApp0 = 4 + ((size_t(std::uint8_t(jpeg[4])) << 8) | std::uint8_t(jpeg[5]));
  return jpeg.substr(0, afterApp0) + "\xFF\xE1" + be16(unsigned(body.size() + 2)) + body + jpeg.substr(afterApp0);
}

TEST(JpegOrientationTest, ReadsIfd0WithinTheBytesOrFallsBackToUpright) {
  const std::string jpeg("\xFF\xD8\xFF\xE0\0\x04JF\xFF\xDA\0\x02", 12);
  std::string farIfd = tiff(0x0112, 3, 6), manyEntries = tiff(0x0110, 3, 6);
  farIfd[4] = '\x7F';
  manyEntries.replace(8, 2, "\xFF\xFF");  // only two entries present
  const std::tuple<const char*, std::string, int> cases[] = {
      {"big-endian", tiff(0x0112, 3, 6), 6},
      {"little-endian", std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x08\0\0\0\0\0\0\0", 26), 8},
      {"out of range", tiff(0x0112, 3, 9), 1}, {"zero", tiff(0x0112, 3, 0), 1}, {"wrong type", tiff(0x0112, 4, 6), 1},
      {"no orientation tag", tiff(0x0110, 3, 6), 1}, {"bad byte order mark", "XX" + tiff(0x0112, 3, 6).substr(2), 1},
      {"truncated", tiff(0x0112, 3, 6).substr(0, 20), 1}, {"IFD0 beyond the block", farIfd, 1},
      {"entry count beyond the block", manyEntries, 1}};
  for (const auto& [what, block, expected] : cases) EXPECT_EQ(jpegOrientation(withExif(jpeg, block)), expected) << what;
  EXPECT_EQ(jpegOrientation(std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + "Exif"), 1) << "segment past the end";
}

TEST(DecodeImageTest, JpegOrientationIsApplied) {
  const std::string jpeg = encode(marked(32, 0xffffff00, 0).get(), IFF_JFIF_JPEG);
  const int cases[][4] = {{1, 40, 3, 3}, {2, 40, 36, 3}, {3, 40, 36, 16}, {4, 40, 3, 16},  // orientation, width,
                          {5, 20, 3, 3}, {6, 20, 16, 3}, {7, 20, 16, 36}, {8, 20, 3, 36}};  // where the mark lands
  for (const auto& [orientation, width, markX, markY] : cases) {
    Decoded decoded = decodeImage(withExif(jpeg, tiff(0x0112, 3, unsigned(orientation))));
    EXPECT_EQ(looksOf(decoded, markX, markY), greyBitmap(width, 60 - width, true)) << orientation;
  }
}

}  // namespace
}  // namespace quorvane::ocr
