#include "ocr/image/exif.h"
#include "common/jpeg_markers.h"

#include <cstdint>
#include <optional>

namespace quorvane::ocr {
namespace {

constexpr int kUpright = 1;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr unsigned char kApp1 = 0xE1;
constexpr std::string_view kExifHeader{"Exif\0\0", 6};
constexpr size_t kIfdEntrySize = 12;

// Bounded big- or little-endian reads from the TIFF block inside APP1.
class TiffReader {
 public:
  TiffReader(std::string_view block, bool bigEndian) : block_(block), bigEndian_(bigEndian) {}
  std::optional<std::uint32_t> read(size_t offset, size_t width) const {
    if (offset > block_.size() || width > block_.size() - offset) return std::nullopt;
    std::uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      auto byte = static_cast<unsigned char>(block_[offset + (bigEndian_ ? i : width - 1 - i)]);
      value = (value << 8) | byte;
    }
    return value;
  }

 private:
  std::string_view block_;
  bool bigEndian_;
};

int orientationInTiff(std::string_view tiff) {
  if (tiff.size() < 8) return kUpright;
  bool bigEndian;
  if (tiff.starts_with("MM")) bigEndian = true;
  else if (tiff.starts_with("II")) bigEndian = false;
  else return kUpright;
  TiffReader reader(tiff, bigEndian);
  if (reader.read(2, 2) != 42u) return kUpright;
  auto ifd = reader.read(4, 4);
  if (!ifd) return kUpright;
  auto count = reader.read(*ifd, 2);
  if (!count) return kUpright;
  for (std::uint32_t i = 0; i < *count; ++i) {
    size_t entry = size_t{*ifd} + 2 + i * kIfdEntrySize;
    auto tag = reader.read(entry, 2);
    if (!tag) return kUpright;
    if (*tag != kOrientationTag) continue;
    if (reader.read(entry + 2, 2) != kTypeShort) return kUpright;
    auto value = reader.read(entry + 8, 2);
    if (!value || *value < 1 || *value > 8) return kUpright;
    return static_cast<int>(*value);
  }
  return kUpright;
}

}  // namespace

int jpegOrientation(std::string_view jpeg) {
  // EXIF sits in one of the segments before the image data.
  JpegMarkers markers(jpeg);
  while (auto segment = markers.next()) {
    if (segment->marker == kJpegSos) break;
    if (segment->marker == kApp1 && segment->body.starts_with(kExifHeader)) {
      return orientationInTiff(segment->body.substr(kExifHeader.size()));
    }
  }
  return kUpright;
}

}  // namespace quorvane::ocr
