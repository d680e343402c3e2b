// The kernel's key codes (evdev, as in linux/input-event-codes.h) as the ANSI
// virtual key codes the key-name table uses. Every Linux backend reads them:
// evdev devices give them as they are, X servers add 8. A key is named by its
// position on the keyboard, whatever the layout puts on it.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvane::input {

// The ANSI virtual key code of an evdev key code; nothing for a key that has none.
std::optional<std::int64_t> ansiKeyCodeOfEvdev(std::uint32_t evdevCode);

}  // namespace quorvane::input
