// How X input reads as the monitor's events: modifier state as key-down flags,
// and which pointer buttons are clicks.
#pragma once

#include <cstdint>

namespace quorvane::input::x11 {

// Core modifier bits, as XKB state events report them.
inline constexpr std::uint32_t kXShift = 1 << 0;
inline constexpr std::uint32_t kXLock = 1 << 1;
inline constexpr std::uint32_t kXControl = 1 << 2;
inline constexpr std::uint32_t kXMod1 = 1 << 3;  // Alt
inline constexpr std::uint32_t kXMod4 = 1 << 6;  // Super

// Super is Command, Control is Control, Alt is Option; Caps Lock and the
// other modifiers are not read.
std::uint64_t flagsFromModifiers(std::uint32_t xModifiers);

// Buttons 1, 2, 3 and 8 on are presses of a real button; 4 to 7 are wheel
// steps, which are never clicks.
bool isClickButton(std::uint32_t button);

}  // namespace quorvane::input::x11
