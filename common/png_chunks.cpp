#include "common/png_chunks.h"

#include <cstdint>

namespace quorvane {

bool pngChunksFit(std::string_view png) {
  constexpr std::size_t kSignature = 8, kHeader = 8, kCrc = 4;  // header: length and type
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(png[at + i]);
    return v;
  };
  std::size_t at = kSignature;
  // A header cut after its length and type still makes libpng allocate the
  // length: it must fit as much as a whole chunk's.
  while (at + kHeader <= png.size()) {
    std::uint64_t length = u32(at);
    std::string_view type = png.substr(at + 4, 4);
    if (type == "IEND") return true;
    if (length + kCrc > png.size() - at - kHeader) return type == "IDAT";
    at += kHeader + length + kCrc;
  }
  return true;
}

}  // namespace quorvane
