#include "ocr/image/jpeg_scans.h"

#include <algorithm>

namespace quorvane::ocr {
namespace {

constexpr unsigned char kStuffedZero = 0x00;
constexpr unsigned char kFirstRestart = 0xD0, kLastRestart = 0xD7;
// Frame headers are C0 to CF except DHT (C4), JPG (C8) and DAC (CC).
bool isFrameHeader(unsigned char marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}
constexpr std::uint64_t kBlockSide = 8, kBytesPerBlock = 64 * 2;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// Coefficient bytes of every component at its own sampling, from a frame header's body.
std::uint64_t coefficientBytes(std::string_view frame) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(frame[i]); };
  constexpr size_t kFixed = 6, kPerComponent = 3;
  if (frame.size() < kFixed) return 0;
  const std::uint64_t height = (std::uint64_t{at(1)} << 8) | at(2), width = (std::uint64_t{at(3)} << 8) | at(4);
  const size_t components = at(5);
  if (frame.size() < kFixed + components * kPerComponent) return 0;
  std::uint64_t hMax = 1, vMax = 1;
  for (size_t c = 0; c < components; ++c) {
    hMax = std::max<std::uint64_t>(hMax, at(kFixed + c * kPerComponent + 1) >> 4);
    vMax = std::max<std::uint64_t>(vMax, at(kFixed + c * kPerComponent + 1) & 0x0F);
  }
  std::uint64_t bytes = 0;
  for (size_t c = 0; c < components; ++c) {
    const std::uint64_t h = at(kFixed + c * kPerComponent + 1) >> 4, v = at(kFixed + c * kPerComponent + 1) & 0x0F;
    const std::uint64_t columns = ceilDiv(ceilDiv(width * h, hMax), kBlockSide);
    const std::uint64_t rows = ceilDiv(ceilDiv(height * v, vMax), kBlockSide);
    bytes += columns * rows * kBytesPerBlock;
  }
  return bytes;
}

}  // namespace

JpegScans jpegScans(std::string_view jpeg) {
  JpegScans result;
  auto at = [&](size_t i) { return static_cast<unsigned char>(jpeg[i]); };
  if (jpeg.size() < 2 || at(0) != kMarkerPrefix || at(1) != kStartOfImage) return result;
  size_t pos = 2;
  while (pos + 2 <= jpeg.size()) {
    if (at(pos) != kMarkerPrefix) {
      ++pos;  // entropy-coded data
      continue;
    }
    const unsigned char marker = at(pos + 1);
    if (marker == kMarkerPrefix) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == kStuffedZero || (marker >= kFirstRestart && marker <= kLastRestart)) {
      pos += 2;
      continue;
    }
    if (marker == kEndOfImage) break;
    if (pos + 4 > jpeg.size()) break;
    const size_t length = (size_t{at(pos + 2)} << 8) | at(pos + 3);
    if (length < 2 || length > jpeg.size() - pos - 2) break;
    if (isFrameHeader(marker)) {
      result.coefficientBytes = std::max(result.coefficientBytes, coefficientBytes(jpeg.substr(pos + 4, length - 2)));
    }
    if (marker == kStartOfScan) ++result.scans;
    pos += 2 + length;
  }
  return result;
}

bool jpegWithinScanLimits(const JpegScans& scans) {
  if (scans.scans <= 1) return true;  // decoded row by row, no coefficient buffers
  return scans.scans <= kMaxJpegScans && scans.scans * scans.coefficientBytes <= kMaxJpegScanWork;
}

}  // namespace quorvane::ocr
