#include "input/x11/monitor_events.h"

#include <gtest/gtest.h>
#include <set>

#include "input/key_names.h"
#include "input/x11/keycodes.h"

namespace quorvane::input::x11 {
namespace {

TEST(MonitorEventsTest, ModifiersBecomeFlags) {
  constexpr std::uint32_t kMod2 = 1 << 4, kMod3 = 1 << 5, kMod5 = 1 << 7;
  const struct {
    std::uint32_t x;
    std::uint64_t flags;
  } cases[] = {
      {0, 0},
      {kXMod4, kFlagCommand},
      {kXControl, kFlagControl},
      {kXMod1, kFlagOption},
      {kXShift, kFlagShift},
      {kXLock, 0},
      {kMod2 | kMod3 | kMod5, 0},  // Num Lock, and whatever else a layout binds
      {kXLock | kXShift, kFlagShift},
      {kXMod4 | kXShift | kMod2, kFlagCommand | kFlagShift},
      {0xFF, kFlagCommand | kFlagControl | kFlagOption | kFlagShift},
  };
  for (const auto& c : cases) EXPECT_EQ(flagsFromModifiers(c.x), c.flags) << c.x;
}

TEST(MonitorEventsTest, WheelButtonsAreNeverClicks) {
  const struct {
    std::uint32_t button;
    bool click;
  } cases[] = {{0, false}, {1, true},  {2, true},   {3, true},          {4, false},
               {5, false}, {6, false}, {7, false}, {8, true}, {9, true}, {255, true}};
  for (const auto& c : cases) EXPECT_EQ(isClickButton(c.button), c.click) << c.button;
}

TEST(KeycodesTest, EveryNamedKeyHasExactlyOneKeycode) {
  const KeyNames names = buildNames();
  std::set<std::int64_t> seen;
  for (std::uint32_t x = 0; x < 256; ++x) {
    auto code = ansiKeyCode(x);
    if (!code || !names.count(*code)) continue;
    EXPECT_TRUE(seen.insert(*code).second) << "two keycodes for " << names.at(*code);
  }
  EXPECT_EQ(seen.size(), names.size());
}

TEST(KeycodesTest, ModifiersKeypadAndOutOfRangeCodesHaveNoName) {
  const KeyNames names = buildNames();
  // Shift, Control, Alt, Super, Caps Lock, keypad 9, F5, forward delete, and codes no keyboard sends.
  for (std::uint32_t x : {50u, 37u, 64u, 133u, 66u, 81u, 71u, 119u, 0u, 7u, 255u, 0xFFFFFFFFu}) {
    auto code = ansiKeyCode(x);
    EXPECT_TRUE(!code || !names.count(*code)) << x;
  }
}

}  // namespace
}  // namespace quorvane::input::x11
