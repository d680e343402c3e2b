#include "desktop/images/image_file.h"
#include <array>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <png.h>
#include <turbojpeg.h>
#include "desktop/images/pixel_memory.h"
#include "tests/support/progressive_jpeg.h"

namespace quorvane::desktop {
namespace {
// Left half red, right half green (RGBA) at `alpha`.
std::vector<unsigned char> halves(int w, int h, unsigned char alpha = 255) {
  std::vector<unsigned char> rgba(static_cast<size_t>(w * h * 4), 0);
  for (int i = 0; i < w * h; ++i) rgba[i * 4 + (i % w < w / 2 ? 0 : 1)] = 0xFF, rgba[i * 4 + 3] = alpha;
  return rgba;
}

std::string jpeg(int w, int h) {
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjhandle tj = tjInitCompress();
  EXPECT_EQ(tjCompress2(tj, halves(w, h).data(), w, 0, h, TJPF_RGBA, &out, &size, TJSAMP_444, 95, 0), 0);
  std::string bytes(reinterpret_cast<char*>(out), size);
  return tjFree(out), tjDestroy(tj), bytes;
}

std::string png(int w, int h, unsigned char alpha = 255) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION, image.format = PNG_FORMAT_RGBA;
  image.width = static_cast<png_uint_32>(w), image.height = static_cast<png_uint_32>(h);
  png_alloc_size_t size = 1 << 20;
  std::string bytes(size, '\0');
  EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, halves(w, h, alpha).data(), 0, nullptr));
  return bytes.substr(0, size);
}

// A grey 64 x 64 progressive JPEG: the DC, then `bands` bands of AC coefficients, each in 11
// successive-approximation scans. Every scan is valid.
std::string progressiveJpeg(int bands) {
  std::vector<jpeg_scan_info> scans;
  for (int band = 0; band <= bands; ++band) {
    int last = band == bands && band ? 63 : band;
    scans.push_back({1, {0}, band, last, 0, 10});
    for (int bit = 10; bit > 0; --bit) scans.push_back({1, {0}, band, last, bit, bit - 1});
  }
  return test::progressiveGreyJpeg(64, scans);
}

TEST(ImageBytesTest, ReadsTheHeaderAndDecodesPremultipliedArgbJpegAtTheLeastScaleThatCoversTheDrawnSize) {
  auto image = openImageBytes(jpeg(640, 480));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::pair(image->width(), image->height()), std::pair(640u, 480u));
  EXPECT_TRUE(openImageBytes(jpeg(1, 1)));  // one pixel is a picture too
  for (auto [minW, minH, w, h] : {std::array<std::uint32_t, 4>{640, 480, 640, 480}, {320, 240, 320, 240},
                                  {321, 240, 400, 300}, {1, 1, 80, 60}, {160, 400, 560, 420}, {2000, 2000, 640, 480}}) {
    auto b = image->decode(minW, minH);  // at least the size asked for
    ASSERT_NE(b, nullptr) << minW << "x" << minH;
    EXPECT_EQ(std::tuple(b->width, b->height, b->opaque), std::tuple(w, h, true)) << minW << "x" << minH;
    for (auto [at, colour] : {std::pair{w / 4, 0xFFFF0000u}, {w * h - 1, 0xFF00FF00u}}) {  // channels within rounding
      for (int shift : {0, 8, 16, 24}) EXPECT_NEAR(b->pixels[at] >> shift & 0xFF, colour >> shift & 0xFF, 6) << at;
    }
  }
  auto p = openImageBytes(png(8, 2, 128)), opaque = openImageBytes(png(2, 2));
  ASSERT_NE(p, nullptr);
  ASSERT_NE(opaque, nullptr);
  auto pb = p->decode(1, 1);  // PNG always decodes whole
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(std::tuple(p->width(), p->height(), pb->width, pb->height, pb->opaque, opaque->decode(2, 2)->opaque),
            std::tuple(8u, 2u, 8u, 2u, false, true));
  EXPECT_EQ(std::pair(pb->pixels[0], pb->pixels[15]), std::pair(0x80800000u, 0x80008000u));
}

TEST(ImageBytesTest, RefusesWhatIsNoImageAndDecodesNoBrokenOrCostlyJpeg) {
  std::string colour = jpeg(256, 256), png256 = png(256, 256), pngMagic("\x89PNG\r\n\x1A\n", 8);
  const struct { const char* name; std::string bytes; bool opens, decodes; } cases[] = {
      {"empty", "", false, false}, {"XML", "<?xml version=\"1.0\"?><background/>", false, false},
      {"JPEG magic only", std::string("\xFF\xD8\xFF", 3), false, false},
      {"PNG magic and zeros", pngMagic + std::string(30, '\0'), false, false},
      {"truncated JPEG", colour.substr(0, colour.size() * 2 / 3), true, false},
      {"truncated PNG", png256.substr(0, png256.size() * 2 / 3), true, false},
      {"55 scans", progressiveJpeg(4), true, true},
      {"561 scans, each a pass over the picture", progressiveJpeg(50), true, false},
  };
  for (const auto& c : cases) {
    auto image = openImageBytes(c.bytes);
    bool decodes = image && image->decode(image->width(), image->height());
    EXPECT_EQ(std::pair(image != nullptr, decodes), std::pair(c.opens, c.decodes)) << c.name;
  }
  // A progressive header made to declare 512 MiB of coefficients, and just over.
  for (auto [side, opens] : {std::pair{16384, true}, {16400, false}}) {
    std::string bytes = progressiveJpeg(1);
    std::size_t frame = bytes.find("\xFF\xC2");
    for (std::size_t at : {frame + 5, frame + 7}) bytes[at] = char(side >> 8), bytes[at + 1] = char(side & 0xFF);
    EXPECT_EQ(openImageBytes(bytes) != nullptr, opens) << side;
  }
}

TEST(ImageFileTest, ReadsRegularFilesOnlyAndNoLargeFileThatIsNoPicture) {
  char tmpl[] = "/tmp/quorvane-desktop-image-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  for (auto [name, bytes] : {std::pair{"/a.png", png(4, 4)}, {"/empty.jpg", ""}, {"/big", "GIF89a"}}) {
    std::ofstream(dir + name) << bytes;
  }
  auto ok = openImageFile(dir + "/a.png");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->width(), 4u);
  ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);  // a pipe must not block
  for (std::string path : {dir + "/pipe", dir, dir + "/missing.jpg", dir + "/empty.jpg", std::string("/dev/zero")}) {
    EXPECT_EQ(openImageFile(path), nullptr) << path;
  }
  ASSERT_EQ(truncate((dir + "/big").c_str(), 400 << 20), 0);  // sparse: costs no disk
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(openImageFile(dir + "/big"), nullptr);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 << 10);  // kilobytes
  std::filesystem::remove_all(dir);
}

TEST(AllocatePixelsTest, LargeBlocksStartOnAHugePageAndHoldEveryPixel) {
  for (std::size_t count : {std::size_t{1000}, kHugePage / 4, std::size_t{1'900'001}}) {
    auto pixels = allocatePixels(count);
    ASSERT_NE(pixels, nullptr) << count;
    if (kPixelsInHugePages && count >= kHugePage / 4) {
      EXPECT_EQ(std::uintptr_t(pixels.get()) % kHugePage, 0u) << count;
    }
    for (std::size_t i = 0; i < count; ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
    for (std::size_t i = 0; i < count; i += 997) ASSERT_EQ(pixels[i], static_cast<std::uint32_t>(i * 2654435761u));
  }
  EXPECT_EQ(allocatePixels(SIZE_MAX / 2), nullptr);
}

}  // namespace
}  // namespace quorvane::desktop
