#include "bench/recording-screen/turbo_jpeg.h"

#include <climits>

#include <turbojpeg.h>

#include "recording-screen/jpeg/region_jpeg.h"

namespace quorvane::recording::jpeg {

TurboJpegEncoder::TurboJpegEncoder() : handle_(tjInitCompress()) {}

TurboJpegEncoder::~TurboJpegEncoder() {
  if (handle_) tjDestroy(handle_);
  tjFree(out_);
}

std::optional<std::string> TurboJpegEncoder::encodeJpeg(const PixelView& pixels) {
  auto parts = encodeJpegParts(pixels);
  if (!parts) return std::nullopt;
  return std::string(parts->front());
}

std::optional<std::vector<std::string_view>> TurboJpegEncoder::encodeJpegParts(const PixelView& pixels) {
  if (!handle_ || !pixels.bgrx || pixels.width == 0 || pixels.height == 0) return std::nullopt;
  // One encode of the whole picture: every row must be in first.
  if (pixels.arriving && !pixels.arriving->await(pixels.height)) return std::nullopt;
  if (pixels.width > INT_MAX || pixels.height > INT_MAX || pixels.stride > INT_MAX) return std::nullopt;
  // Sized once for the worst case of this picture size and reused, so the
  // library never reallocates; 4:2:0 is what viewers expect of a screen
  // preview and keeps frames well under the record cap.
  unsigned long needed = tjBufSize(static_cast<int>(pixels.width), static_cast<int>(pixels.height), TJSAMP_420);
  if (needed == static_cast<unsigned long>(-1) || needed > INT_MAX) return std::nullopt;
  if (needed > capacity_) {
    tjFree(out_);
    out_ = tjAlloc(static_cast<int>(needed));
    capacity_ = out_ ? needed : 0;
    if (!out_) return std::nullopt;
  }
  unsigned long size = capacity_;
  int rc = tjCompress2(handle_, pixels.bgrx, static_cast<int>(pixels.width), static_cast<int>(pixels.stride),
                       static_cast<int>(pixels.height), TJPF_BGRX, &out_, &size, TJSAMP_420, kJpegQuality,
                       TJFLAG_FASTDCT | TJFLAG_NOREALLOC);
  if (rc != 0) return std::nullopt;
  return std::vector<std::string_view>{std::string_view(reinterpret_cast<const char*>(out_), size)};
}

}  // namespace quorvane::recording::jpeg
