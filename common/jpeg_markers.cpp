#include "common/jpeg_markers.h"

#include <algorithm>

namespace quorvane {

namespace {

constexpr std::uint8_t kStuffedZero = 0x00, kTem = 0x01, kRst0 = 0xD0, kRst7 = 0xD7;
constexpr std::size_t kFrameFixed = 6, kPerComponent = 3;
constexpr std::uint64_t kBlockSide = 8, kBytesPerBlock = 64 * 2;

bool withoutLength(std::uint8_t marker) { return marker == kTem || (marker >= kRst0 && marker <= kRst7); }

}  // namespace

std::size_t JpegSegment::end() const {
  if (body.empty()) return at + (withoutLength(marker) ? 2 : 4);
  return at + 4 + body.size();
}

JpegMarkers::JpegMarkers(std::string_view jpeg) : bytes_(jpeg) {
  const auto* p = reinterpret_cast<const unsigned char*>(jpeg.data());
  stopped_ = jpeg.size() < 2 || p[0] != kJpegMarker || p[1] != kJpegSoi;
  pos_ = 2;
}

std::optional<JpegSegment> JpegMarkers::next() {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data());
  const std::size_t n = bytes_.size();
  while (!stopped_) {
    // The next 0xFF, then past any fill bytes to the marker code.
    while (pos_ < n && p[pos_] != kJpegMarker) ++pos_;
    std::size_t at = pos_;
    while (pos_ < n && p[pos_] == kJpegMarker) ++pos_;
    if (pos_ >= n) break;
    const std::uint8_t marker = p[pos_++];
    if (marker == kStuffedZero) continue;
    at = pos_ - 2;
    if (marker == kJpegEoi) {
      reachedEnd_ = true;
      break;
    }
    if (withoutLength(marker)) return JpegSegment{marker, at, {}};
    if (n - pos_ < 2) break;
    const std::size_t length = (std::size_t{p[pos_]} << 8) | p[pos_ + 1];
    if (length < 2) {
      pos_ += 2;
      return JpegSegment{marker, at, {}};
    }
    if (length > n - pos_) break;
    JpegSegment segment{marker, at, bytes_.substr(pos_ + 2, length - 2)};
    pos_ += length;
    return segment;
  }
  stopped_ = true;
  return std::nullopt;
}

bool isJpegFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isProgressiveFrame(std::uint8_t marker) { return isJpegFrameHeader(marker) && (marker & 0x03) == 0x02; }

std::optional<std::uint64_t> jpegCoefficientBytes(std::string_view frame) {
  auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(frame[i]); };
  if (frame.size() < kFrameFixed) return std::nullopt;
  const std::uint64_t height = (std::uint64_t{at(1)} << 8) | at(2), width = (std::uint64_t{at(3)} << 8) | at(4);
  const std::size_t components = at(5);
  if (frame.size() < kFrameFixed + components * kPerComponent) return std::nullopt;
  auto sampling = [&](std::size_t c) { return at(kFrameFixed + c * kPerComponent + 1); };
  std::uint64_t hMax = 1, vMax = 1;
  for (std::size_t c = 0; c < components; ++c) {
    hMax = std::max<std::uint64_t>(hMax, sampling(c) >> 4);
    vMax = std::max<std::uint64_t>(vMax, sampling(c) & 0x0F);
  }
  // As libjpeg sizes a component: its share of the picture, in whole blocks.
  std::uint64_t bytes = 0;
  for (std::size_t c = 0; c < components; ++c) {
    const std::uint64_t h = sampling(c) >> 4, v = sampling(c) & 0x0F;
    const std::uint64_t across = (width * h + hMax * kBlockSide - 1) / (hMax * kBlockSide);
    const std::uint64_t down = (height * v + vMax * kBlockSide - 1) / (vMax * kBlockSide);
    bytes += across * down * kBytesPerBlock;
  }
  return bytes;
}

}  // namespace quorvane
