// Wallpaper file bytes are whatever the user's settings point at: the header
// reader and both decoders must refuse anything malformed without crashing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Large claimed sizes are the pixel budget's business; keep runs fast.
  constexpr std::uint64_t kMostPixels = 1'000'000;
  auto image = quorvane::desktop::openImageBytes(std::string(reinterpret_cast<const char*>(data), size));
  if (!image) return 0;
  std::uint64_t pixels = std::uint64_t{image->width()} * image->height();
  if (pixels == 0 || pixels > kMostPixels) return 0;
  if (auto small = image->decode(image->width() / 3 + 1, image->height() / 3 + 1)) {
    if (small->pixels.size() != std::size_t{small->width} * small->height) __builtin_trap();
  }
  image->decode(image->width(), image->height());
  return 0;
}
