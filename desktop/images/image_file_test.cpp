#include "desktop/images/image_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>
#include <turbojpeg.h>

namespace quorvane::desktop {
namespace {

// A picture whose left half is one colour and right half another (RGBA bytes).
std::vector<unsigned char> halves(int w, int h, std::uint32_t left, std::uint32_t right, unsigned alpha = 255) {
  std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint32_t c = x < w / 2 ? left : right;
      unsigned char* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = (c >> 16) & 0xFF;
      p[1] = (c >> 8) & 0xFF;
      p[2] = c & 0xFF;
      p[3] = static_cast<unsigned char>(alpha);
    }
  }
  return rgba;
}

std::string jpeg(int w, int h, std::uint32_t left, std::uint32_t right) {
  auto rgba = halves(w, h, left, right);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(tj, rgba.data(), w, w * 4, h, TJPF_RGBA, &out, &size, TJSAMP_444, 95, 0), 0);
  std::string bytes(reinterpret_cast<char*>(out), size);
  tjFree(out);
  tjDestroy(tj);
  return bytes;
}

std::string png(int w, int h, std::uint32_t left, std::uint32_t right, unsigned alpha = 255) {
  auto rgba = halves(w, h, left, right, alpha);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr));
  std::string bytes(size, '\0');
  EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr));
  bytes.resize(size);
  return bytes;
}

// Channels within a JPEG's rounding.
bool near(std::uint32_t got, std::uint32_t want, int slack = 6) {
  for (int shift : {0, 8, 16, 24}) {
    int a = (got >> shift) & 0xFF, b = (want >> shift) & 0xFF;
    if (std::abs(a - b) > slack) return false;
  }
  return true;
}

TEST(ImageBytesTest, ReadsTheSizeFromTheHeaderAndDecodesPremultipliedArgb) {
  auto j = openImageBytes(jpeg(64, 48, 0xFF0000, 0x0000FF));
  ASSERT_TRUE(j);
  EXPECT_EQ(j->width(), 64u);
  EXPECT_EQ(j->height(), 48u);
  auto jb = j->decode(64, 48);
  ASSERT_TRUE(jb);
  EXPECT_TRUE(near(jb->pixels[10], 0xFFFF0000)) << std::hex << jb->pixels[10];
  EXPECT_TRUE(near(jb->pixels[60], 0xFF0000FF)) << std::hex << jb->pixels[60];

  auto p = openImageBytes(png(8, 2, 0xFF0000, 0x00FF00, 128));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width(), 8u);
  auto pb = p->decode(1, 1);  // PNG always decodes whole
  ASSERT_TRUE(pb);
  EXPECT_EQ(pb->width, 8u);
  EXPECT_EQ(pb->pixels[0], 0x80800000u);
  EXPECT_EQ(pb->pixels[7], 0x80008000u);
  EXPECT_FALSE(pb->opaque);
}

TEST(ImageBytesTest, JpegDecodesAtTheSmallestScaleThatCoversTheDrawnSize) {
  auto image = openImageBytes(jpeg(640, 480, 0x102030, 0x405060));
  const struct {
    std::uint32_t minW, minH, w, h;
  } cases[] = {{640, 480, 640, 480}, {320, 240, 320, 240}, {321, 240, 400, 300}, {80, 60, 80, 60},
               {1, 1, 80, 60},       {160, 400, 560, 420}, {2000, 2000, 640, 480}};
  for (const auto& c : cases) {
    auto b = image->decode(c.minW, c.minH);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.w) << c.minW << "x" << c.minH;
    EXPECT_EQ(b->height, c.h) << c.minW << "x" << c.minH;
    EXPECT_TRUE(near(b->pixels[std::size_t{c.w} * c.h - 1], 0xFF405060));
  }
}

TEST(ImageBytesTest, TruncatedDataOpensButDoesNotDecode) {
  for (const auto& [name, bytes] : {std::pair{"jpeg", jpeg(256, 256, 0xFF0000, 0x00FF00)},
                                    std::pair{"png", png(256, 256, 0xFF0000, 0x00FF00)}}) {
    SCOPED_TRACE(name);
    auto image = openImageBytes(bytes.substr(0, bytes.size() * 2 / 3));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 256u);
    EXPECT_EQ(image->decode(256, 256), nullptr);
  }
}

TEST(ImageBytesTest, RefusesWhatIsNoImage) {
  const std::string cases[] = {"", "GIF89a......", "<?xml version=\"1.0\"?><background/>",
                               std::string("\xFF\xD8\xFF", 3), std::string("\x89PNG\r\n\x1A\n", 8),
                               std::string("\x89PNG\r\n\x1A\n", 8) + std::string(30, '\0')};
  for (const auto& bytes : cases) EXPECT_EQ(openImageBytes(bytes), nullptr) << testing::PrintToString(bytes);
}

// A grey progressive JPEG whose scans each carry one bit of one band of
// coefficients: `bands` bands of AC coefficients after the DC scans, each sent
// in 11 successive-approximation scans. Every scan is valid.
std::string progressiveJpeg(int side, int bands) {
  std::vector<jpeg_scan_info> scans;
  auto bitByBit = [&](int first, int last) {
    scans.push_back({1, {0}, first, last, 0, 10});
    for (int bit = 10; bit > 0; --bit) scans.push_back({1, {0}, first, last, bit, bit - 1});
  };
  bitByBit(0, 0);
  for (int band = 1; band <= bands; ++band) bitByBit(band, band == bands ? 63 : band);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = cinfo.image_height = static_cast<JDIMENSION>(side);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.scan_info = scans.data();
  cinfo.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(side));
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) row[static_cast<size_t>(x)] = static_cast<unsigned char>((x * 7 + y * 13) & 0xFF);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&cinfo);
  free(out);
  return bytes;
}

TEST(ImageBytesTest, AProgressiveJpegOfTooManyScansDoesNotDecode) {
  const struct {
    int bands;
    bool decodes;
  } cases[] = {{4, true}, {50, false}};  // 55 scans; 561 scans, each a pass over the picture
  for (const auto& c : cases) {
    auto image = openImageBytes(progressiveJpeg(64, c.bands));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->decode(64, 64) != nullptr, c.decodes) << c.bands;
  }
}

TEST(ImageBytesTest, AProgressiveJpegIsRefusedWhenItsCoefficientsWouldTakeTooMuchMemory) {
  // The header of a small picture, made to declare a larger size.
  const struct {
    int side;
    bool opens;
  } cases[] = {{16384, true}, {16400, false}};  // 512 MiB of coefficients, and just over
  for (const auto& c : cases) {
    std::string bytes = progressiveJpeg(64, 1);
    std::size_t frame = bytes.find("\xFF\xC2");
    ASSERT_NE(frame, std::string::npos);
    for (std::size_t at : {frame + 5, frame + 7}) {
      bytes[at] = static_cast<char>(c.side >> 8);
      bytes[at + 1] = static_cast<char>(c.side & 0xFF);
    }
    EXPECT_EQ(openImageBytes(bytes) != nullptr, c.opens) << c.side;
  }
}

struct ImageFileFixture : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/quorvane-desktop-image-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(ImageFileFixture, ReadsRegularFilesOnly) {
  auto ok = openImageFile(write("a.png", png(4, 4, 0, 0)));
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->width(), 4u);

  std::string fifo = dir + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(openImageFile(fifo), nullptr);  // must not block waiting for a writer
  EXPECT_EQ(openImageFile(dir), nullptr);
  EXPECT_EQ(openImageFile(dir + "/missing.jpg"), nullptr);
  EXPECT_EQ(openImageFile(write("empty.jpg", "")), nullptr);
  EXPECT_EQ(openImageFile("/dev/zero"), nullptr);
}

TEST_F(ImageFileFixture, ALargeFileThatIsNoPictureIsNotRead) {
  std::string path = write("large.bin", "GIF89a");
  ASSERT_EQ(truncate(path.c_str(), 400 << 20), 0);  // sparse: costs no disk
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(openImageFile(path), nullptr);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 << 10);  // kilobytes
}

}  // namespace
}  // namespace quorvane::desktop
