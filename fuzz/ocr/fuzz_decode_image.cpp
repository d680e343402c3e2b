#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ocr/image/exif.h"
#include "ocr/image/image.h"
#include "ocr/image/jpeg_scans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The bounded parsers on their own, whatever the format claims to be.
  (void)quorvane::ocr::jpegOrientation(bytes);
  (void)quorvane::ocr::gifPixels(bytes);
  (void)quorvane::ocr::jpegScans(bytes);
  quorvane::ocr::Decoded decoded = quorvane::ocr::decodeImage(bytes);
  if (decoded.status == quorvane::ocr::Decoded::Status::ok) {
    // A decoded bitmap is grey, non-empty and within the cap.
    const std::uint64_t pixels = std::uint64_t{decoded.bitmap.width} * decoded.bitmap.height;
    if (pixels == 0 || pixels > quorvane::ocr::kMaxPixels || !decoded.bitmap.pixels) __builtin_trap();
  }
  return 0;
}
