// Naming of keyboard shortcuts. Only keys of a fixed table count, and only
// with Command, Control or Option held: plain typing is never named, so no
// typed text can leave the process.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "common/channel.h"

namespace quorvane::input {

// Modifier flag bits as the key-down events carry them.
inline constexpr std::uint64_t kFlagCommand = 0x100000;
inline constexpr std::uint64_t kFlagControl = 0x40000;
inline constexpr std::uint64_t kFlagOption = 0x80000;
inline constexpr std::uint64_t kFlagShift = 0x20000;

// ANSI virtual key code -> key name: the 56 named keys.
using KeyNames = std::map<std::int64_t, std::string>;
KeyNames buildNames();

// "Cmd+Ctrl+Alt+Shift+Key" for the held modifiers, or nothing.
std::optional<std::string> shortcut(const KeyNames& names, std::int64_t keyCode, std::uint64_t flags);

// The key-naming self-test's Message.
Json keySelfTest(const KeyNames& names);

}  // namespace quorvane::input
