#include "input/key_names.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

constexpr std::uint64_t kCapsLock = 0x10000;
constexpr std::uint64_t kNumericPad = 0x200000;
constexpr std::uint64_t kFn = 0x800000;

TEST(KeyNamesTest, TableHasTheFiftySixKeysAndNoOthers) {
  KeyNames names = buildNames();
  EXPECT_EQ(names.size(), 56u);
  for (std::int64_t absent : {10, 52, 54, 96, 115, 117, 119, 121, 127, -1}) {
    EXPECT_EQ(names.count(absent), 0u) << absent;
  }
}

TEST(KeyNamesTest, LabelsHeldModifiersInFixedOrder) {
  const KeyNames names = buildNames();
  const struct {
    std::int64_t code;
    std::uint64_t flags;
    std::optional<std::string> label;
  } cases[] = {
      {25, kFlagCommand | kFlagShift, "Cmd+Shift+9"},
      {25, kFlagControl | kFlagShift, "Ctrl+Shift+9"},
      {25, kFlagOption | kFlagShift, "Alt+Shift+9"},
      {0, kFlagCommand | kFlagControl | kFlagOption | kFlagShift, "Cmd+Ctrl+Alt+Shift+A"},
      {123, kFlagControl | kFlagOption, "Ctrl+Alt+Left"},
      {49, kFlagCommand, "Cmd+Space"},
      {53, kFlagOption, "Alt+Esc"},
      {0, kFlagCommand | kCapsLock, "Cmd+A"},
      {126, kFlagCommand | kFn | kNumericPad, "Cmd+Up"},
      {30, kFlagControl, "Ctrl+BracketRight"},
      {51, kFlagCommand, "Cmd+Backspace"},
      // Plain typing is never named.
      {0, 0, std::nullopt},
      {0, kFlagShift, std::nullopt},
      {0, kFlagShift | kCapsLock, std::nullopt},
      {0, kFn | kNumericPad | 0xFF, std::nullopt},
      // Keys outside the table.
      {10, kFlagCommand, std::nullopt},
      {52, kFlagCommand, std::nullopt},
      {96, kFlagCommand, std::nullopt},
      {9999, kFlagCommand, std::nullopt},
      {-1, kFlagCommand, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shortcut(names, c.code, c.flags), c.label) << c.code << " / " << std::hex << c.flags;
  }
}

TEST(KeyNamesTest, SelfTestMessage) {
  EXPECT_EQ(keySelfTest(buildNames()).dump(),
            R"({"plain":null,"shiftOnly":null,"shortcut":"Cmd+Shift+9","unknown":null})");
}

}  // namespace
}  // namespace quorvane::input
