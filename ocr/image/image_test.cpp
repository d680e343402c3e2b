#include "ocr/image/image.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include "ocr/image/jpeg_scans.h"
#include "ocr/image/pix.h"

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

std::uint32_t greyAt(const Bitmap& bitmap, int x, int y) {
  l_uint32 value = 0;
  pixGetPixel(pixOf(bitmap), x, y, &value);
  return value;
}

// 40 x 20, white, with a black 4 x 4 block at the top-left corner (2, 2).
PixPtr marked(l_int32 depth) {
  PixPtr pix(pixCreate(40, 20, depth));
  pixSetAll(pix.get());  // white for 8 and 32 bpp
  Box* box = boxCreate(2, 2, 4, 4);
  pixClearInRect(pix.get(), box);
  boxDestroy(&box);
  return pix;
}

TEST(DecodeImageTest, EveryFormatBecomesGreyOfTheSameSize) {
  PixPtr rgb = marked(32);
  PixPtr grey = marked(8);
  PixPtr paletted(pixConvertRGBToColormap(rgb.get(), 1));
  struct Case {
    const char* what;
    Pix* pix;
    l_int32 format;
  };
  const Case cases[] = {{"png", rgb.get(), IFF_PNG},          {"grey png", grey.get(), IFF_PNG},
                        {"paletted png", paletted.get(), IFF_PNG}, {"jpeg", rgb.get(), IFF_JFIF_JPEG},
                        {"gif", paletted.get(), IFF_GIF},     {"tiff", rgb.get(), IFF_TIFF_ZIP},
                        {"bmp", rgb.get(), IFF_BMP},          {"webp", rgb.get(), IFF_WEBP},
                        {"pnm", grey.get(), IFF_PNM}};
  for (const auto& c : cases) {
    std::string bytes = encode(c.pix, c.format);
    ASSERT_FALSE(bytes.empty()) << c.what;
    Decoded decoded = decodeImage(bytes);
    ASSERT_EQ(decoded.status, Decoded::Status::ok) << c.what;
    EXPECT_EQ(decoded.bitmap.width, 40u) << c.what;
    EXPECT_EQ(decoded.bitmap.height, 20u) << c.what;
    EXPECT_EQ(pixGetDepth(pixOf(decoded.bitmap)), 8) << c.what;
    EXPECT_LT(greyAt(decoded.bitmap, 3, 3), 60u) << c.what;
    EXPECT_GT(greyAt(decoded.bitmap, 30, 10), 200u) << c.what;
  }
}

TEST(DecodeImageTest, TransparencyIsLaidOverWhite) {
  PixPtr pix(pixCreate(10, 10, 32));
  pixSetAllArbitrary(pix.get(), 0x00000000);  // black, fully transparent
  pixSetSpp(pix.get(), 4);
  pixSetRGBPixel(pix.get(), 1, 1, 0, 0, 0);
  l_uint32 opaqueBlack = 0x000000ff;
  pixSetPixel(pix.get(), 1, 1, opaqueBlack);
  Decoded decoded = decodeImage(encode(pix.get(), IFF_PNG));
  ASSERT_EQ(decoded.status, Decoded::Status::ok);
  EXPECT_EQ(greyAt(decoded.bitmap, 5, 5), 255u);
  EXPECT_EQ(greyAt(decoded.bitmap, 1, 1), 0u);
}

TEST(DecodeImageTest, RefusesWhatIsNoImageOrTooBig) {
  std::string png = encode(marked(8).get(), IFF_PNG);
  std::string claimsHuge = png;
  // IHDR width and height at bytes 16..23: 100000 x 100000.
  const char side[4] = {0, 1, char(0x86), char(0xA0)};
  claimsHuge.replace(16, 4, side, 4);
  claimsHuge.replace(20, 4, side, 4);
  const std::pair<const char*, std::string> cases[] = {
      {"text", "this is not an image at all"},
      {"short", "\x89PNG"},
      {"truncated png", png.substr(0, png.size() / 2)},
      {"header over the pixel cap", claimsHuge},
  };
  for (const auto& [what, bytes] : cases) {
    EXPECT_EQ(decodeImage(bytes).status, Decoded::Status::notAnImage) << what;
  }
}

// A valid progressive grey JPEG with one scan per AC coefficient and bit
// (695 scans): every decoder pass is legal, so only a scan limit stops it.
std::string manyScanJpeg(JDIMENSION side) {
  std::vector<jpeg_scan_info> script;
  script.push_back({1, {0}, 0, 0, 0, 1});
  script.push_back({1, {0}, 0, 0, 1, 0});
  for (int k = 1; k < 64; ++k) {
    script.push_back({1, {0}, k, k, 0, 10});
    for (int bit = 9; bit >= 0; --bit) script.push_back({1, {0}, k, k, bit + 1, bit});
  }
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &data, &size);
  cinfo.image_width = cinfo.image_height = side;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.scan_info = script.data();
  cinfo.num_scans = int(script.size());
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(side);
  for (JDIMENSION y = 0; y < side; ++y) {
    for (JDIMENSION x = 0; x < side; ++x) row[x] = JSAMPLE((x * 7 + y * 3 + (x * y) % 13) & 0xFF);
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(data), size);
  jpeg_destroy_compress(&cinfo);
  free(data);
  return bytes;
}

TEST(DecodeImageTest, RefusesJpegScanBombsFromTheirStructure) {
  const std::string bomb = manyScanJpeg(256);
  const JpegScans counted = jpegScans(bomb);
  EXPECT_EQ(counted.scans, 695u);
  EXPECT_EQ(counted.coefficientBytes, 256u * 256u * 2u);
  EXPECT_EQ(decodeImage(bomb).status, Decoded::Status::notAnImage);
  // Around the bounds: scans, then scans times coefficient bytes.
  const struct {
    JpegScans scans;
    bool within;
  } cases[] = {
      {{1, std::uint64_t{1} << 40}, true},
      {{kMaxJpegScans, kMaxJpegScanWork / kMaxJpegScans}, true},
      {{kMaxJpegScans + 1, 1}, false},
      {{10, kMaxJpegScanWork / 10 + 1}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(jpegWithinScanLimits(c.scans), c.within) << c.scans.scans;
}

// A GIF whose one frame claims 65535 x 65535 inside a 10 x 10 screen.
std::string gifBomb() {
  std::string gif = "GIF89a";
  gif += std::string("\x0a\x00\x0a\x00\x00\x00\x00", 7);            // screen, no table
  gif += std::string("\x2c\0\0\0\0\xff\xff\xff\xff\x00\x02", 11);   // frame + LZW size
  gif += std::string("\x02\x4c\x01\x00\x3b", 5);                    // data, end, trailer
  return gif;
}

TEST(DecodeImageTest, GifFramesShareThePixelCap) {
  EXPECT_EQ(gifPixels(gifBomb()), std::uint64_t{65535} * 65535);
  EXPECT_EQ(decodeImage(gifBomb()).status, Decoded::Status::notAnImage);
  std::string screenOnly = gifBomb().substr(0, 13) + ";";
  EXPECT_EQ(gifPixels(screenOnly), std::nullopt);
  EXPECT_EQ(gifPixels("GIF8"), std::nullopt);
  PixPtr pix(pixConvertRGBToColormap(marked(32).get(), 1));
  EXPECT_EQ(gifPixels(encode(pix.get(), IFF_GIF)), 800u);
}

// Inserts an EXIF APP1 with the given orientation right after the SOI marker.
std::string withOrientation(const std::string& jpeg, int orientation) {
  std::string tiffBlock = std::string("MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19) +
                          char(orientation) + std::string("\0\0\0\0\0\0", 6);
  std::string body = std::string("Exif\0\0", 6) + tiffBlock;
  std::string segment = std::string("\xFF\xE1", 2) + char((body.size() + 2) >> 8) + char((body.size() + 2) & 0xFF) + body;
  return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

TEST(DecodeImageTest, JpegOrientationIsApplied) {
  std::string jpeg = encode(marked(32).get(), IFF_JFIF_JPEG);
  struct Case {
    int orientation;
    std::uint32_t width;
    int markX, markY;  // where the top-left mark must land
  };
  const Case cases[] = {{1, 40, 3, 3},  {2, 40, 36, 3}, {3, 40, 36, 16}, {4, 40, 3, 16},
                        {5, 20, 3, 3},  {6, 20, 16, 3}, {7, 20, 16, 36}, {8, 20, 3, 36}};
  for (const auto& c : cases) {
    Decoded decoded = decodeImage(withOrientation(jpeg, c.orientation));
    ASSERT_EQ(decoded.status, Decoded::Status::ok) << c.orientation;
    EXPECT_EQ(decoded.bitmap.width, c.width) << c.orientation;
    EXPECT_EQ(decoded.bitmap.height, 60u - c.width) << c.orientation;
    EXPECT_LT(greyAt(decoded.bitmap, c.markX, c.markY), 80u) << c.orientation;
  }
}

}  // namespace
}  // namespace quorvane::ocr
