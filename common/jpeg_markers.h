// JPEG marker segments read the way libjpeg reads them, so that what is
// checked before decoding is what the decoder will meet. PNG's counterpart
// is png_chunks.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane {

inline constexpr std::uint8_t kJpegMarker = 0xFF;
inline constexpr std::uint8_t kJpegSoi = 0xD8, kJpegEoi = 0xD9, kJpegSos = 0xDA, kJpegSof0 = 0xC0;

// One marker and, for a marker that has one, the segment it heads.
struct JpegSegment {
  std::uint8_t marker = 0;
  std::size_t at = 0;      // offset of the marker's 0xFF
  std::string_view body;   // the bytes after the length field; empty for a marker without one
  std::size_t end() const;  // offset just past the segment
};

// Walks a JPEG's markers from the start-of-image on, through the headers and
// the entropy-coded data alike, as libjpeg does: bytes between markers are
// skipped (libjpeg skips them with a warning), 0xFF fill bytes and stuffed
// zeros are no markers, RST0-7 and TEM carry no length, and a length under 2
// skips nothing. It stops where the decoder stops: at the end of the image or
// of the bytes, or at a segment longer than the bytes left.
class JpegMarkers {
 public:
  explicit JpegMarkers(std::string_view jpeg);
  // The next marker, or nullopt once the walk has stopped. The end of the
  // image is not returned: it stops the walk.
  std::optional<JpegSegment> next();
  // Whether the walk stopped at the end-of-image marker.
  bool reachedEnd() const { return reachedEnd_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool stopped_ = false;
  bool reachedEnd_ = false;
};

// Whether a marker is a frame header (SOF0-SOF15 but DHT, JPG and DAC).
bool isJpegFrameHeader(std::uint8_t marker);
// Whether a frame header starts a progressive picture (SOF2, SOF6, SOF10, SOF14).
bool isProgressiveFrame(std::uint8_t marker);

// Bytes of the coefficient buffers a multi-scan decoder holds for a frame
// (64 two-byte coefficients a block, each component at its own sampling),
// from the frame header's body; nullopt when the body is too short for what
// it declares.
std::optional<std::uint64_t> jpegCoefficientBytes(std::string_view frameBody);

}  // namespace quorvane
