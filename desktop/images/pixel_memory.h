// Memory for whole pictures. A decoded wallpaper is megabytes that are
// written once, straight away: fresh pages cost more to fault in one 4 KiB
// page at a time than the decoder spends filling them, so large blocks ask
// for transparent huge pages, and pixels are not zeroed first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvane::desktop {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Under AddressSanitizer every block stays on the heap, where an overrun is caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPixelsInHugePages = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPixelsInHugePages = false;
#else
inline constexpr bool kPixelsInHugePages = true;
#endif
#else
inline constexpr bool kPixelsInHugePages = true;
#endif

// `count` uninitialised pixels, on huge pages from kHugePage bytes on;
// nullptr when the memory cannot be had.
std::shared_ptr<std::uint32_t[]> allocatePixels(std::size_t count);

}  // namespace quorvane::desktop
