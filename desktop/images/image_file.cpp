#include "desktop/images/image_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <png.h>
#include <turbojpeg.h>

#include "common/jpeg_markers.h"
#include "common/png_chunks.h"
#include "desktop/images/pixel_memory.h"

namespace quorvane::desktop {

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

constexpr std::string_view kJpegMagic = "\xFF\xD8\xFF";
constexpr std::string_view kPngMagic = "\x89PNG\r\n\x1A\n";
constexpr std::size_t kLongestMagic = kPngMagic.size();

bool isJpeg(std::string_view b) { return b.substr(0, kJpegMagic.size()) == kJpegMagic; }
bool isPng(std::string_view b) { return b.substr(0, kPngMagic.size()) == kPngMagic; }

// Allocates a bitmap's pixels; false when there is no memory for them.
bool allocate(Bitmap& b) {
  b.pixels = allocatePixels(std::size_t{b.width} * b.height);
  return b.pixels != nullptr;
}

struct TjDeleter {
  void operator()(void* h) const { tjDestroy(h); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

class EncodedImage : public WallpaperImage {
 public:
  EncodedImage(std::string bytes, std::uint32_t w, std::uint32_t h) : bytes_(std::move(bytes)), w_(w), h_(h) {}
  std::uint32_t width() const override { return w_; }
  std::uint32_t height() const override { return h_; }

  std::shared_ptr<const Bitmap> decode(std::uint32_t minWidth, std::uint32_t minHeight) override {
    // Two screens of one size share one decode.
    if (last_ && lastMin_ == std::make_pair(minWidth, minHeight)) return last_;
    last_ = decodePixels(minWidth, minHeight);
    lastMin_ = {minWidth, minHeight};
    return last_;
  }

 protected:
  virtual std::shared_ptr<const Bitmap> decodePixels(std::uint32_t minWidth, std::uint32_t minHeight) = 0;
  const std::string bytes_;
  const std::uint32_t w_, h_;

 private:
  std::shared_ptr<const Bitmap> last_;
  std::pair<std::uint32_t, std::uint32_t> lastMin_;
};

class JpegImage final : public EncodedImage {
 public:
  using EncodedImage::EncodedImage;

 protected:
  std::shared_ptr<const Bitmap> decodePixels(std::uint32_t minWidth, std::uint32_t minHeight) override {
    TjHandle tj(tjInitDecompress());
    if (!tj) return nullptr;
    tjscalingfactor factor = reducedScale(minWidth, minHeight);
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = static_cast<std::uint32_t>(TJSCALED(static_cast<int>(w_), factor));
    bitmap->height = static_cast<std::uint32_t>(TJSCALED(static_cast<int>(h_), factor));
    if (!allocate(*bitmap)) return nullptr;
    // Byte order B,G,R,A is native ARGB on a little-endian machine; JPEG is opaque,
    // so the alpha byte is 0xFF and the pixels are already premultiplied.
    int format = kLittleEndian ? TJPF_BGRA : TJPF_ARGB;
    // Warnings (a truncated file decodes half grey) count as failures: a broken
    // picture must not be shown as the wallpaper. Each progressive scan costs
    // a pass over the whole picture: a few hundred are plenty for any real one.
    int rc = tjDecompress2(tj.get(), reinterpret_cast<const unsigned char*>(bytes_.data()),
                           static_cast<unsigned long>(bytes_.size()),
                           reinterpret_cast<unsigned char*>(bitmap->pixels.get()), static_cast<int>(bitmap->width),
                           static_cast<int>(bitmap->width * 4), static_cast<int>(bitmap->height), format,
                           TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS);
    if (rc != 0) return nullptr;
    bitmap->opaque = true;
    return bitmap;
  }

 private:
  // The smallest reduction libjpeg offers that still covers the drawn size.
  tjscalingfactor reducedScale(std::uint32_t minWidth, std::uint32_t minHeight) const {
    tjscalingfactor best{1, 1};
    int count = 0;
    tjscalingfactor* factors = tjGetScalingFactors(&count);
    std::uint64_t bestArea = std::uint64_t{w_} * h_;
    for (int i = 0; factors && i < count; ++i) {
      tjscalingfactor f = factors[i];
      if (f.num > f.denom) continue;
      auto sw = static_cast<std::uint32_t>(TJSCALED(static_cast<int>(w_), f));
      auto sh = static_cast<std::uint32_t>(TJSCALED(static_cast<int>(h_), f));
      if (sw < minWidth || sh < minHeight) continue;
      if (std::uint64_t{sw} * sh < bestArea) {
        best = f;
        bestArea = std::uint64_t{sw} * sh;
      }
    }
    return best;
  }
};

class PngImage final : public EncodedImage {
 public:
  using EncodedImage::EncodedImage;

 protected:
  std::shared_ptr<const Bitmap> decodePixels(std::uint32_t, std::uint32_t) override {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes_.data(), bytes_.size())) return nullptr;
    image.format = kLittleEndian ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = image.width;
    bitmap->height = image.height;
    if (!allocate(*bitmap)) {
      png_image_free(&image);
      return nullptr;
    }
    if (!png_image_finish_read(&image, nullptr, bitmap->pixels.get(), 0, nullptr)) {
      png_image_free(&image);
      return nullptr;
    }
    premultiply(*bitmap);
    return bitmap;
  }

 private:
  static void premultiply(Bitmap& b) {
    b.opaque = true;
    std::uint32_t* end = b.pixels.get() + std::size_t{b.width} * b.height;
    for (std::uint32_t* it = b.pixels.get(); it != end; ++it) {
      std::uint32_t& p = *it;
      std::uint32_t a = p >> 24;
      if (a == 0xFF) continue;
      b.opaque = false;
      auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      p = (a << 24) | (scale((p >> 16) & 0xFF) << 16) | (scale((p >> 8) & 0xFF) << 8) | scale(p & 0xFF);
    }
  }
};

// Bytes of the whole-picture coefficient buffers a progressive JPEG decodes
// into (two bytes per coefficient, 64 a block, per component at its own
// sampling); 0 for a sequential one, which is decoded a row of blocks at a
// time. nullopt when no frame header comes before the first scan.
std::optional<std::uint64_t> progressiveCoefficientBytes(std::string_view b) {
  JpegMarkers markers(b);
  while (auto segment = markers.next()) {
    if (segment->marker == kJpegSos) return std::nullopt;
    if (!isJpegFrameHeader(segment->marker)) continue;
    if (!isProgressiveFrame(segment->marker)) return 0;
    return jpegCoefficientBytes(segment->body);
  }
  return std::nullopt;
}

std::unique_ptr<WallpaperImage> openJpeg(std::string bytes) {
  // A progressive picture near the pixel budget would need about a gigabyte
  // of coefficients before its first pixel.
  auto coefficients = progressiveCoefficientBytes(bytes);
  if (!coefficients || *coefficients > kMostCoefficientBytes) return nullptr;
  TjHandle tj(tjInitDecompress());
  if (!tj) return nullptr;
  int w = 0, h = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(tj.get(), reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<unsigned long>(bytes.size()), &w, &h, &subsampling, &colorspace) != 0) {
    return nullptr;
  }
  if (w <= 0 || h <= 0) return nullptr;
  return std::make_unique<JpegImage>(std::move(bytes), static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h));
}

std::unique_ptr<WallpaperImage> openPng(std::string bytes) {
  if (!pngChunksFit(bytes)) return nullptr;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
  std::uint32_t w = image.width, h = image.height;
  png_image_free(&image);
  if (w == 0 || h == 0) return nullptr;
  return std::make_unique<PngImage>(std::move(bytes), w, h);
}

// Reads until `size` bytes, the end of the file or an error; how many were read.
std::size_t readUpTo(int fd, char* into, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, into + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace

std::unique_ptr<WallpaperImage> openImageBytes(std::string bytes) {
  if (isJpeg(bytes)) return openJpeg(std::move(bytes));
  if (isPng(bytes)) return openPng(std::move(bytes));
  return nullptr;
}

std::unique_ptr<WallpaperImage> openImageFile(const std::string& path) {
  // Non-blocking so that opening a FIFO cannot hang; only regular files are read.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<std::uint64_t>(st.st_size) > kMaxWallpaperFileBytes) {
    ::close(fd);
    return nullptr;
  }
  // The magic bytes first: memory for a large file that is no picture is
  // neither taken nor filled.
  char head[kLongestMagic];
  std::size_t done = readUpTo(fd, head, std::min(static_cast<std::size_t>(st.st_size), kLongestMagic));
  if (!isJpeg({head, done}) && !isPng({head, done})) {
    ::close(fd);
    return nullptr;
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::memcpy(bytes.data(), head, done);
  done += readUpTo(fd, bytes.data() + done, bytes.size() - done);
  ::close(fd);
  bytes.resize(done);  // a file that shrank meanwhile is judged by what was read
  return openImageBytes(std::move(bytes));
}

}  // namespace quorvane::desktop
