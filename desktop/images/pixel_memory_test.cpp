#include "desktop/images/pixel_memory.h"

#include <gtest/gtest.h>

namespace quorvane::desktop {
namespace {

TEST(AllocatePixelsTest, LargeBlocksStartOnAHugePageAndHoldEveryPixel) {
  // From small (ordinary heap) through large blocks of odd sizes.
  for (std::size_t count : {std::size_t{1000}, std::size_t{1'900'001}, std::size_t{4'000'000}}) {
    auto pixels = allocatePixels(count);
    ASSERT_TRUE(pixels);
    if (kPixelsInHugePages && count * sizeof(std::uint32_t) >= kHugePage) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pixels.get()) % kHugePage, 0u) << count;
    }
    for (std::size_t i = 0; i < count; ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
    for (std::size_t i = 0; i < count; i += 997) ASSERT_EQ(pixels[i], static_cast<std::uint32_t>(i * 2654435761u));
  }
  EXPECT_EQ(allocatePixels(SIZE_MAX / 2), nullptr);
}

}  // namespace
}  // namespace quorvane::desktop
