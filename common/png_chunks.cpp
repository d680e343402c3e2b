#include "common/png_chunks.h"

#include <cstdint>

namespace quorvane {

bool pngChunksFit(std::string_view png) {
  constexpr std::size_t kSignature = 8, kFraming = 12;  // length, type, CRC
  auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(png[at + i]);
    return v;
  };
  std::size_t at = kSignature;
  while (at + kFraming <= png.size()) {
    std::uint64_t length = u32(at);
    std::string_view type = png.substr(at + 4, 4);
    if (type == "IEND") return true;
    if (length > png.size() - at - kFraming) return type == "IDAT";
    at += kFraming + length;
  }
  return true;
}

}  // namespace quorvane
