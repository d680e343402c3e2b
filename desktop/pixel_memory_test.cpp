#include "desktop/pixel_memory.h"

#include <gtest/gtest.h>
#include <vector>

namespace quorvane::desktop {
namespace {

using Pixels = std::vector<std::uint32_t, PixelAllocator<std::uint32_t>>;

TEST(PixelAllocatorTest, LargeBlocksStartOnAHugePageAndKeepTheirContentsWhenGrown) {
  Pixels pixels;
  // From small (ordinary heap) through large blocks of odd sizes.
  for (std::size_t count : {std::size_t{1000}, std::size_t{600'000}, std::size_t{1'900'001}, std::size_t{4'000'000}}) {
    std::size_t before = pixels.size();
    pixels.resize(count);
    for (std::size_t i = before; i < count; ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
    if (kPixelsInHugePages && count * sizeof(std::uint32_t) >= kHugePage) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pixels.data()) % kHugePage, 0u) << count;
    }
    for (std::size_t i = 0; i < count; i += 997) ASSERT_EQ(pixels[i], static_cast<std::uint32_t>(i * 2654435761u));
    ASSERT_EQ(pixels.back(), static_cast<std::uint32_t>((count - 1) * 2654435761u));
  }
  Pixels copy = pixels;
  EXPECT_EQ(copy, pixels);
  pixels.assign(10, 7u);
  EXPECT_EQ(pixels, Pixels(10, 7u));
}

}  // namespace
}  // namespace quorvane::desktop
