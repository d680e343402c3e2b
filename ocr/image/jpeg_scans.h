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

// Walks the marker segments and the entropy-coded data between them; stops
// at the end of the image or where the structure breaks, counting what it saw.
JpegScans jpegScans(std::string_view jpeg);

// A multi-scan JPEG is refused above either bound: screenshots saved as
// progressive JPEG have about ten scans over tens of MiB.
// The marker bytes both marker walks (scans here, EXIF orientation) read.
inline constexpr unsigned char kMarkerPrefix = 0xFF, kStartOfImage = 0xD8, kEndOfImage = 0xD9, kStartOfScan = 0xDA;

inline constexpr std::uint64_t kMaxJpegScans = 100;
inline constexpr std::uint64_t kMaxJpegScanWork = std::uint64_t{2} << 30;  // scans x coefficient bytes

bool jpegWithinScanLimits(const JpegScans& scans);

}  // namespace quorvane::ocr
