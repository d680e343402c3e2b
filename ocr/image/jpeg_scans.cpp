#include "ocr/image/jpeg_scans.h"

#include <algorithm>

#include "common/jpeg_markers.h"

namespace quorvane::ocr {

JpegScans jpegScans(std::string_view jpeg) {
  JpegScans result;
  JpegMarkers markers(jpeg);
  while (auto segment = markers.next()) {
    if (isJpegFrameHeader(segment->marker)) {
      result.coefficientBytes =
          std::max(result.coefficientBytes, jpegCoefficientBytes(segment->body).value_or(0));
    }
    if (segment->marker == kJpegSos) ++result.scans;
  }
  return result;
}

bool jpegWithinScanLimits(const JpegScans& scans) {
  if (scans.scans <= 1) return true;  // decoded row by row, no coefficient buffers
  return scans.scans <= kMaxJpegScans && scans.scans * scans.coefficientBytes <= kMaxJpegScanWork;
}

}  // namespace quorvane::ocr
