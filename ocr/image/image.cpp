#include "ocr/image/image.h"

#include <memory>

#include <leptonica/allheaders.h>

#include "common/png_chunks.h"
#include "ocr/image/exif.h"
#include "ocr/image/jpeg_scans.h"
#include "ocr/image/pix.h"

namespace quorvane::ocr {
namespace {

constexpr l_uint32 kWhite = 0xffffff00;  // Leptonica's RGBA
// Leptonica sniffs the format from the first 12 bytes without a size check.
constexpr size_t kMinImageBytes = 12;

const l_uint8* data(std::string_view bytes) { return reinterpret_cast<const l_uint8*>(bytes.data()); }

bool withinPixelCap(l_int32 width, l_int32 height) {
  return width > 0 && height > 0 && std::uint64_t(width) * std::uint64_t(height) <= kMaxPixels;
}

// Leptonica reads a GIF's header by decoding every frame, so a GIF is
// measured from its block structure before Leptonica sees it.
bool gifWithinCap(std::string_view bytes) {
  auto total = gifPixels(bytes);
  return total && *total <= kMaxGifPixels;
}

PixPtr readPix(std::string_view bytes, l_int32 format) {
  if (format == IFF_JFIF_JPEG) {
    // Straight to luminance: a quarter of the memory of RGB, and all recognition reads.
    l_int32 warnings = 0;
    return PixPtr(pixReadMemJpeg(data(bytes), bytes.size(), 0, 1, &warnings, L_JPEG_READ_LUMINANCE));
  }
  return PixPtr(pixReadMem(data(bytes), bytes.size()));
}

// Any depth, palette or transparency to 8-bit luminance on white.
PixPtr toGrey(PixPtr pix) {
  if (pixGetColormap(pix.get())) pix.reset(pixRemoveColormap(pix.get(), REMOVE_CMAP_WITH_ALPHA));
  if (!pix) return nullptr;
  if (pixGetDepth(pix.get()) == 32 && pixGetSpp(pix.get()) == 4) {
    pix.reset(pixAlphaBlendUniform(pix.get(), kWhite));
    if (!pix) return nullptr;
  }
  if (pixGetDepth(pix.get()) == 8) return pix;
  return PixPtr(pixConvertTo8(pix.get(), 0));
}

PixPtr applyOrientation(PixPtr pix, int orientation) {
  const bool mirrored = orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
  // Clockwise quarter turns that bring the stored image upright (after the mirror).
  int quarters = 0;
  switch (orientation) {
    case 3: case 4: quarters = 2; break;
    case 6: case 7: quarters = 1; break;
    case 5: case 8: quarters = 3; break;
    default: break;
  }
  // A vertical mirror (4) is a horizontal one turned half-way.
  if (mirrored) pix.reset(pixFlipLR(nullptr, pix.get()));
  if (pix && quarters) pix.reset(pixRotateOrth(pix.get(), quarters));
  return pix;
}

}  // namespace

Pix* pixOf(const Bitmap& bitmap) { return static_cast<Pix*>(bitmap.pixels.get()); }

Decoded decodeImage(std::string_view bytes) {
  setMsgSeverity(L_SEVERITY_NONE);
  l_int32 format = IFF_UNKNOWN, width = 0, height = 0, bps = 0, spp = 0, colormap = 0;
  if (bytes.size() < kMinImageBytes || findFileFormatBuffer(data(bytes), &format) != 0 || format == IFF_UNKNOWN ||
      (format == IFF_GIF && !gifWithinCap(bytes)) || (format == IFF_PNG && !pngChunksFit(bytes)) ||
      (format == IFF_JFIF_JPEG && !jpegWithinScanLimits(jpegScans(bytes))) ||
      pixReadHeaderMem(data(bytes), bytes.size(), &format, &width, &height, &bps, &spp, &colormap) != 0 ||
      !withinPixelCap(width, height)) {
    return {Decoded::Status::notAnImage, {}};
  }
  PixPtr pix = readPix(bytes, format);
  // A body that disagrees with its header is as broken as no image at all.
  if (!pix || pixGetWidth(pix.get()) != width || pixGetHeight(pix.get()) != height) {
    return {Decoded::Status::notAnImage, {}};
  }
  pix = toGrey(std::move(pix));
  if (pix && format == IFF_JFIF_JPEG) pix = applyOrientation(std::move(pix), jpegOrientation(bytes));
  if (!pix) return {Decoded::Status::noBitmap, {}};

  Bitmap bitmap;
  bitmap.width = static_cast<std::uint32_t>(pixGetWidth(pix.get()));
  bitmap.height = static_cast<std::uint32_t>(pixGetHeight(pix.get()));
  bitmap.pixels = std::shared_ptr<void>(pix.release(), [](void* p) {
    Pix* owned = static_cast<Pix*>(p);
    pixDestroy(&owned);
  });
  return {Decoded::Status::ok, std::move(bitmap)};
}

namespace {

// Skips GIF data sub-blocks (length byte, bytes) up to the zero terminator.
bool skipSubBlocks(std::string_view gif, size_t& pos) {
  while (pos < gif.size()) {
    size_t length = static_cast<unsigned char>(gif[pos]);
    ++pos;
    if (length == 0) return true;
    pos += length;
  }
  return false;
}

size_t colourTableBytes(unsigned char packed) {
  constexpr unsigned char kTablePresent = 0x80;
  return (packed & kTablePresent) ? 3u << ((packed & 0x07) + 1) : 0;
}

}  // namespace

std::optional<std::uint64_t> gifPixels(std::string_view gif) {
  constexpr size_t kHeader = 6, kScreenDescriptor = 7, kImageDescriptor = 9;
  constexpr unsigned char kImage = 0x2C, kExtension = 0x21, kTrailer = 0x3B;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(gif[i]); };
  if (gif.size() < kHeader + kScreenDescriptor) return std::nullopt;
  size_t pos = kHeader + kScreenDescriptor + colourTableBytes(byte(kHeader + 4));
  std::uint64_t total = 0;
  bool sawImage = false;
  while (pos < gif.size()) {
    unsigned char block = byte(pos++);
    if (block == kTrailer) break;
    if (block == kExtension) {
      if (++pos > gif.size() || !skipSubBlocks(gif, pos)) break;
    } else if (block == kImage) {
      if (pos + kImageDescriptor > gif.size()) break;
      std::uint64_t width = byte(pos + 4) | (byte(pos + 5) << 8);
      std::uint64_t height = byte(pos + 6) | (byte(pos + 7) << 8);
      total += width * height;
      sawImage = true;
      pos += kImageDescriptor + colourTableBytes(byte(pos + 8)) + 1;  // + LZW code size
      if (pos > gif.size() || !skipSubBlocks(gif, pos)) break;
    } else {
      break;  // the decoder stops at an unknown block too
    }
  }
  if (!sawImage) return std::nullopt;
  return total;
}

}  // namespace quorvane::ocr
