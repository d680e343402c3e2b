#include "common/png_chunks.h"

#include <gtest/gtest.h>
#include <string>

namespace quorvane {
namespace {

std::string chunk(std::uint32_t length, const char* type, std::size_t bytes) {
  std::string c{char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
  return c + type + std::string(bytes + 4, 'x');  // data, then CRC
}

TEST(PngChunksTest, EveryChunkButCutImageDataFitsInTheBytes) {
  const std::string sig("\x89PNG\r\n\x1A\n", 8), ihdr = chunk(13, "IHDR", 13), end = chunk(0, "IEND", 0);
  const struct { const char* name; std::string bytes; bool fits; } cases[] = {
      {"whole", sig + ihdr + chunk(5, "IDAT", 5) + end, true},
      {"anything after IEND", sig + ihdr + end + chunk(0x7FFFFFFF, "tEXt", 0), true},
      {"text chunk declaring 2 GB", sig + ihdr + chunk(0x7D5341E9, "tEXt", 20) + end, false},
      {"text chunk one byte short", sig + ihdr + chunk(21, "tEXt", 20), false},
      {"header cut", sig + chunk(13, "IHDR", 12), false},
      {"length with the top bit set", sig + chunk(0xFFFFFFF0, "IHDR", 13), false},
      {"image data cut: the decoder says so", sig + ihdr + chunk(400, "IDAT", 20), true},
      {"no IEND", sig + ihdr, true},
      {"a partial length at the end", sig + ihdr + "\0\0", true},
      {"a header cut after its type, declaring 2 GB", sig + ihdr + chunk(0x7D5341E9, "tEXt", 0).substr(0, 8), false},
      {"a header cut inside its CRC", sig + ihdr + chunk(0, "tEXt", 0).substr(0, 11), false},
      {"an image data header cut after its type", sig + ihdr + chunk(0x7D5341E9, "IDAT", 0).substr(0, 8), true},
  };
  for (const auto& c : cases) EXPECT_EQ(pngChunksFit(c.bytes), c.fits) << c.name;
}

}  // namespace
}  // namespace quorvane
