// X keycodes as the ANSI virtual key codes the key-name table uses. A key is
// named by its position on the keyboard, whatever the layout or a client's
// keysym remapping puts on it, so only the keycode is read.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvane::input::x11 {

// The ANSI virtual key code of an X keycode (evdev code + 8); nothing for a
// key that has none.
std::optional<std::int64_t> ansiKeyCode(std::uint32_t xKeycode);

}  // namespace quorvane::input::x11
