#include "ocr/image/exif.h"

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

std::string be16(unsigned v) { return {char(v >> 8), char(v & 0xFF)}; }
std::string le16(unsigned v) { return {char(v & 0xFF), char(v >> 8)}; }

// A TIFF block with IFD0 holding the given tag, type and value.
std::string tiff(bool bigEndian, unsigned tag, unsigned type, unsigned value) {
  auto u16 = bigEndian ? be16 : le16;
  std::string ifdOffset = bigEndian ? std::string("\0\0\0\x08", 4) : std::string("\x08\0\0\0", 4);
  std::string count = bigEndian ? std::string("\0\0\0\x01", 4) : std::string("\x01\0\0\0", 4);
  return std::string(bigEndian ? "MM" : "II") + u16(42) + ifdOffset + u16(2) +
         u16(0x010F) + u16(2) + count + std::string(4, '\0') +  // Make, not ours
         u16(tag) + u16(type) + count + u16(value) + std::string(2, '\0') + std::string(4, '\0');
}

std::string jpegWith(const std::string& app1Body) {
  std::string segment = std::string("Exif\0\0", 6) + app1Body;
  return std::string("\xFF\xD8", 2) + "\xFF\xE0" + be16(4) + "JF" +  // an APP0 first
         "\xFF\xE1" + be16(unsigned(segment.size() + 2)) + segment + "\xFF\xDA" + be16(2);
}

TEST(JpegOrientationTest, ReadsTheTagOrFallsBackToUpright) {
  struct Case {
    const char* what;
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      {"big-endian 6", jpegWith(tiff(true, 0x0112, 3, 6)), 6},
      {"little-endian 8", jpegWith(tiff(false, 0x0112, 3, 8)), 8},
      {"every valid value", jpegWith(tiff(false, 0x0112, 3, 3)), 3},
      {"out of range", jpegWith(tiff(true, 0x0112, 3, 9)), 1},
      {"zero", jpegWith(tiff(true, 0x0112, 3, 0)), 1},
      {"wrong type", jpegWith(tiff(true, 0x0112, 4, 6)), 1},
      {"no orientation tag", jpegWith(tiff(true, 0x0110, 3, 6)), 1},
      {"bad byte order mark", jpegWith("XX" + tiff(true, 0x0112, 3, 6).substr(2)), 1},
      {"not a JPEG", "\x89PNG\r\n\x1a\n", 1},
      {"empty", "", 1},
      {"truncated TIFF", jpegWith(tiff(true, 0x0112, 3, 6).substr(0, 20)), 1},
      {"segment longer than the file", std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + "Exif", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(jpegOrientation(c.bytes), c.expected) << c.what;
}

TEST(JpegOrientationTest, IfdOffsetPointingOutsideIsIgnored) {
  std::string body = tiff(true, 0x0112, 3, 6);
  body[4] = '\x7F';  // IFD0 far beyond the block
  EXPECT_EQ(jpegOrientation(jpegWith(body)), 1);
  std::string huge = tiff(false, 0x0110, 3, 6);
  huge[8] = '\xFF';  // entry count 0xFFFF, but only two entries present
  huge[9] = '\xFF';
  EXPECT_EQ(jpegOrientation(jpegWith(huge)), 1);
}

}  // namespace
}  // namespace quorvane::ocr
