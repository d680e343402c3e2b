// X keycodes as the ANSI virtual key codes the key-name table uses. A key is
// named by its position on the keyboard, whatever the layout or a client's
// keysym remapping puts on it, so only the keycode is read.
#pragma once

#include <cstdint>
#include <optional>

#include "input/linux/keycodes.h"

namespace quorvane::input::x11 {

// The X server numbers keys as the kernel's evdev codes plus 8.
inline constexpr std::uint32_t kEvdevOffset = 8;

// The ANSI virtual key code of an X keycode; nothing for a key that has none.
inline std::optional<std::int64_t> ansiKeyCode(std::uint32_t xKeycode) {
  if (xKeycode < kEvdevOffset) return std::nullopt;
  return ansiKeyCodeOfEvdev(xKeycode - kEvdevOffset);
}

}  // namespace quorvane::input::x11
