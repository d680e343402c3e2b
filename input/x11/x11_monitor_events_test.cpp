#include "input/x11/x11_monitor_events.h"

#include <gtest/gtest.h>
#include <set>

#include "input/key_names.h"
#include "input/x11/keycodes.h"

namespace quorvane::input {
namespace {

TEST(X11MonitorEventsTest, ModifiersBecomeFlags) {
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

TEST(X11MonitorEventsTest, WheelButtonsAreNeverClicks) {
  const struct {
    std::uint32_t button;
    bool click;
  } cases[] = {{0, false}, {1, true},  {2, true},   {3, true},          {4, false},
               {5, false}, {6, false}, {7, false}, {8, true}, {9, true}, {255, true}};
  for (const auto& c : cases) EXPECT_EQ(isClickButton(c.button), c.click) << c.button;
}

TEST(KeycodesTest, KeysOfAUsKeyboardGetTheirNames) {
  const KeyNames names = buildNames();
  // X keycodes of a US keyboard on the evdev rules, with the names their keys carry.
  const struct {
    std::uint32_t xKeycode;
    const char* name;
  } cases[] = {
      {38, "A"},           {56, "B"},          {18, "9"},         {19, "0"},          {10, "1"},
      {15, "6"},           {14, "5"},          {20, "Minus"},     {21, "Equal"},      {34, "BracketLeft"},
      {35, "BracketRight"}, {47, "Semicolon"}, {48, "Quote"},     {49, "Backquote"},  {51, "Backslash"},
      {59, "Comma"},       {60, "Period"},     {61, "Slash"},     {65, "Space"},      {36, "Enter"},
      {23, "Tab"},         {22, "Backspace"},  {9, "Esc"},        {113, "Left"},      {114, "Right"},
      {111, "Up"},         {116, "Down"},      {29, "Y"},         {52, "Z"},          {24, "Q"},
  };
  for (const auto& c : cases) {
    auto code = ansiKeyCode(c.xKeycode);
    ASSERT_TRUE(code) << c.xKeycode;
    auto it = names.find(*code);
    ASSERT_NE(it, names.end()) << c.xKeycode;
    EXPECT_EQ(it->second, c.name) << c.xKeycode;
  }
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
}  // namespace quorvane::input
