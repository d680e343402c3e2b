#include "desktop/image_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <png.h>
#include <turbojpeg.h>

namespace quorvane::desktop {

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

bool isJpeg(const std::string& b) { return b.size() >= 3 && b.compare(0, 3, "\xFF\xD8\xFF") == 0; }
bool isPng(const std::string& b) { return b.size() >= 8 && b.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0; }

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
    bitmap->pixels.resize(std::size_t{bitmap->width} * bitmap->height);
    // Byte order B,G,R,A is native ARGB on a little-endian machine; JPEG is opaque,
    // so the alpha byte is 0xFF and the pixels are already premultiplied.
    int format = kLittleEndian ? TJPF_BGRA : TJPF_ARGB;
    // Warnings (a truncated file decodes half grey) count as failures: a broken
    // picture must not be shown as the wallpaper.
    int rc = tjDecompress2(tj.get(), reinterpret_cast<const unsigned char*>(bytes_.data()),
                           static_cast<unsigned long>(bytes_.size()),
                           reinterpret_cast<unsigned char*>(bitmap->pixels.data()), static_cast<int>(bitmap->width),
                           static_cast<int>(bitmap->width * 4), static_cast<int>(bitmap->height), format,
                           TJFLAG_STOPONWARNING);
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
    bitmap->pixels.resize(std::size_t{image.width} * image.height);
    if (!png_image_finish_read(&image, nullptr, bitmap->pixels.data(), 0, nullptr)) {
      png_image_free(&image);
      return nullptr;
    }
    premultiply(*bitmap);
    return bitmap;
  }

 private:
  static void premultiply(Bitmap& b) {
    b.opaque = true;
    for (std::uint32_t& p : b.pixels) {
      std::uint32_t a = p >> 24;
      if (a == 0xFF) continue;
      b.opaque = false;
      auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      p = (a << 24) | (scale((p >> 16) & 0xFF) << 16) | (scale((p >> 8) & 0xFF) << 8) | scale(p & 0xFF);
    }
  }
};

std::unique_ptr<WallpaperImage> openJpeg(std::string bytes) {
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
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
  std::uint32_t w = image.width, h = image.height;
  png_image_free(&image);
  if (w == 0 || h == 0) return nullptr;
  return std::make_unique<PngImage>(std::move(bytes), w, h);
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
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);  // a file that shrank meanwhile is judged by what was read
  return openImageBytes(std::move(bytes));
}

}  // namespace quorvane::desktop
