// One libjpeg-turbo encode of the whole picture per frame, straight from the
// captured BGRX pixels: what a minimal grabber does, and the benchmarks' baseline.
#pragma once

#include "recording-screen/capture.h"

namespace quorvane::recording::jpeg {

class TurboJpegEncoder final : public Encoder {
 public:
  TurboJpegEncoder();
  ~TurboJpegEncoder() override;
  TurboJpegEncoder(const TurboJpegEncoder&) = delete;
  TurboJpegEncoder& operator=(const TurboJpegEncoder&) = delete;

  // Not thread-safe: one encoder serves the one sample worker.
  std::optional<std::string> encodeJpeg(const PixelView& pixels) override;
  // The file in the library's buffer, not copied: valid until the next call.
  std::optional<std::vector<std::string_view>> encodeJpegParts(const PixelView& pixels) override;

 private:
  void* handle_;  // tjhandle, created once and reused for every frame
  // The library's output buffer, kept from frame to frame: a fresh one each
  // time costs page faults on every frame.
  unsigned char* out_ = nullptr;
  unsigned long capacity_ = 0;
};

}  // namespace quorvane::recording::jpeg
