// What a JPEG will cost to decode, read from its marker structure alone.
// A progressive file is decoded scan by scan over coefficient buffers held
// for the whole image, so its cost grows with scans times buffer size, which
// the pixel count of its header does not show.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorvane::ocr {

struct JpegScans {
  std::uint64_t scans = 0;              // start-of-scan markers in the file
  std::uint64_t coefficientBytes = 0;   // a multi-scan decoder's buffers, from the frame header
};

// Counts the scans where the decoder meets them (common/jpeg_markers.h).
JpegScans jpegScans(std::string_view jpeg);

// A multi-scan JPEG is refused above either bound: screenshots saved as
// progressive JPEG have about ten scans over tens of MiB.

inline constexpr std::uint64_t kMaxJpegScans = 100;
inline constexpr std::uint64_t kMaxJpegScanWork = std::uint64_t{2} << 30;  // scans x coefficient bytes

bool jpegWithinScanLimits(const JpegScans& scans);

}  // namespace quorvane::ocr
