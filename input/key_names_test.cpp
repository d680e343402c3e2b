#include "input/key_names.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

TEST(KeyNamesTest, LabelsHeldModifiersInFixedOrderAndNeverPlainTyping) {
  constexpr std::uint64_t kCapsLock = 0x10000, kNumericPad = 0x200000, kFn = 0x800000;
  constexpr std::uint64_t kAll = kFlagCommand | kFlagControl | kFlagOption | kFlagShift;
  const KeyNames names = buildNames();
  EXPECT_EQ(names.size(), 56u);  // no two keys share a code
  const struct { std::int64_t code; std::uint64_t flags; std::optional<std::string> label; } cases[] = {
      {0, kAll, "Cmd+Ctrl+Alt+Shift+A"}, {123, kFlagControl | kFlagOption, "Ctrl+Alt+Left"},
      {0, kFlagCommand | kCapsLock, "Cmd+A"}, {126, kFlagCommand | kFn | kNumericPad, "Cmd+Up"},
      {0, kFlagShift | kCapsLock, std::nullopt}, {0, kFn | kNumericPad | 0xFF, std::nullopt},
      {10, kFlagCommand, std::nullopt}, {-1, kFlagCommand, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(shortcut(names, c.code, c.flags), c.label) << c.code << " " << c.flags;
  EXPECT_EQ(keySelfTest(names).dump(), R"({"plain":null,"shiftOnly":null,"shortcut":"Cmd+Shift+9","unknown":null})");
}

}  // namespace
}  // namespace quorvane::input
