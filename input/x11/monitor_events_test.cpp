#include "input/x11/monitor_events.h"

#include <gtest/gtest.h>

#include "input/key_names.h"

namespace quorvane::input::x11 {
namespace {

TEST(MonitorEventsTest, ModifiersBecomeFlagsAndWheelButtonsAreNeverClicks) {
  constexpr std::uint32_t kMod2 = 1 << 4, kMod3 = 1 << 5, kMod5 = 1 << 7;  // Num Lock and whatever a layout binds
  EXPECT_EQ(flagsFromModifiers(kXLock | kMod2 | kMod3 | kMod5), 0u);
  EXPECT_EQ(flagsFromModifiers(0xFF), kFlagCommand | kFlagControl | kFlagOption | kFlagShift);
  EXPECT_EQ(flagsFromModifiers(kXMod4 | kXShift | kMod2), kFlagCommand | kFlagShift);
  EXPECT_EQ(flagsFromModifiers(kXControl | kXLock), kFlagControl);
  EXPECT_EQ(flagsFromModifiers(kXMod1), kFlagOption);
  std::string clicks;
  for (std::uint32_t b : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 255u}) clicks += isClickButton(b) ? 'y' : 'n';
  EXPECT_EQ(clicks, "nyyynnnnyy");
}

}  // namespace
}  // namespace quorvane::input::x11
