#include "input/x11/keycodes.h"

#include <gtest/gtest.h>

namespace quorvane::input::x11 {
namespace {

TEST(XKeycodesTest, AreEvdevCodesPlusEight) {
  // 9 is Esc (evdev 1), 38 is A (evdev 30); below 8 there are no keys.
  EXPECT_EQ(ansiKeyCode(9), std::optional<std::int64_t>(53));
  EXPECT_EQ(ansiKeyCode(38), std::optional<std::int64_t>(0));
  EXPECT_EQ(ansiKeyCode(7), std::nullopt);
  EXPECT_EQ(ansiKeyCode(8), std::nullopt);
}

}  // namespace
}  // namespace quorvane::input::x11
