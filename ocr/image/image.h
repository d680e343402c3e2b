// Image bytes to an 8-bit grey Leptonica bitmap, refusing what would cost too
// much before decoding it.
#pragma once

#include <cstdint>
#include <string_view>

#include "ocr/recognition.h"

struct Pix;

namespace quorvane::ocr {

// A long scrolling capture (a 2880 px wide HiDPI window scrolled through
// 46000 px) still fits; a bomb claiming more is refused after its header, and
// a grey bitmap at the cap costs 128 MiB.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 27;
// Every frame of an animated GIF is decoded; together they share the cap.
inline constexpr std::uint64_t kMaxGifPixels = kMaxPixels;

// Decodes any format Leptonica reads (PNG, JPEG, GIF, WebP, TIFF, BMP, PNM,
// JPEG 2000), applies the JPEG EXIF orientation, lays transparency over white
// and returns 8-bit luminance. `pixels` in the bitmap holds a Pix*.
Decoded decodeImage(std::string_view bytes);

// The Pix* of a bitmap made by decodeImage.
Pix* pixOf(const Bitmap& bitmap);

// Total pixels of all frames of a GIF, from its block structure alone; nullopt
// when the structure is broken before the first frame.
std::optional<std::uint64_t> gifPixels(std::string_view gif);

}  // namespace quorvane::ocr
