#include "recording-screen/jpeg_encoder.h"

#include <climits>

#include <turbojpeg.h>

namespace quorvane::recording {

TurboJpegEncoder::TurboJpegEncoder() : handle_(tjInitCompress()) {}

TurboJpegEncoder::~TurboJpegEncoder() {
  if (handle_) tjDestroy(handle_);
}

std::optional<std::string> TurboJpegEncoder::encodeJpeg(const PixelView& pixels) {
  if (!handle_ || !pixels.bgrx || pixels.width == 0 || pixels.height == 0) return std::nullopt;
  if (pixels.width > INT_MAX || pixels.height > INT_MAX || pixels.stride > INT_MAX) return std::nullopt;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  // The library sizes and owns the buffer; 4:2:0 is what viewers expect of a
  // screen preview and keeps frames well under the record cap.
  int rc = tjCompress2(handle_, pixels.bgrx, static_cast<int>(pixels.width), static_cast<int>(pixels.stride),
                       static_cast<int>(pixels.height), TJPF_BGRX, &out, &size, TJSAMP_420, kJpegQuality,
                       TJFLAG_FASTDCT);
  std::optional<std::string> jpeg;
  if (rc == 0 && out) jpeg.emplace(reinterpret_cast<const char*>(out), size);
  tjFree(out);
  return jpeg;
}

}  // namespace quorvane::recording
