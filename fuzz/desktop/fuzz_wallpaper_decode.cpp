// Wallpaper file bytes are whatever the user's settings point at: the header
// reader and both decoders must refuse anything malformed without crashing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/images/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Large claimed sizes are the pixel budget's business; keep runs fast.
  constexpr std::uint64_t kMostPixels = 1'000'000;
  auto image = quorvane::desktop::openImageBytes(std::string(reinterpret_cast<const char*>(data), size));
  if (!image) return 0;
  std::uint64_t pixels = std::uint64_t{image->width()} * image->height();
  if (pixels == 0 || pixels > kMostPixels) return 0;
  if (auto small = image->decode(image->width() / 3 + 1, image->height() / 3 + 1)) {
    // Every pixel of the bitmap's size must be there (AddressSanitizer sees the last one).
    volatile std::uint32_t last = small->pixels[std::size_t{small->width} * small->height - 1];
    static_cast<void>(last);
  }
  image->decode(image->width(), image->height());
  return 0;
}
