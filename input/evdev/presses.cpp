#include "input/evdev/presses.h"

#include <linux/input-event-codes.h>

#include <array>
#include <optional>
#include <utility>

#include "input/key_names.h"
#include "input/linux/keycodes.h"

namespace quorvane::input::evdev {

namespace {

// Each modifier key, one bit of a device's held set, and its flag. Right Alt
// is not here: most layouts but the US one make it AltGr, which types
// characters (@, {, €...), and a device does not say which layout is in use.
// Caps Lock is not a modifier of shortcuts.
constexpr auto kModifierKeys = std::to_array<std::pair<std::uint16_t, std::uint64_t>>({
    {KEY_LEFTMETA, kFlagCommand},
    {KEY_RIGHTMETA, kFlagCommand},
    {KEY_LEFTCTRL, kFlagControl},
    {KEY_RIGHTCTRL, kFlagControl},
    {KEY_LEFTALT, kFlagOption},
    {KEY_LEFTSHIFT, kFlagShift},
    {KEY_RIGHTSHIFT, kFlagShift},
});

// The bit of a modifier key in a device's held set.
std::optional<std::uint8_t> modifierBit(std::uint16_t code) {
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if (kModifierKeys[i].first == code) return static_cast<std::uint8_t>(1u << i);
  }
  return std::nullopt;
}

bool isPen(const Capabilities& device) { return device.keys.test(BTN_TOOL_PEN); }

}  // namespace

bool isClick(std::uint16_t code, const Capabilities& device) {
  if (code >= BTN_LEFT && code <= BTN_TASK) return true;  // left, right, middle, side, extra...
  if (code == BTN_TOUCH) return device.direct || isPen(device);
  // A pen's barrel buttons click as a mouse's other buttons do.
  if (code == BTN_STYLUS || code == BTN_STYLUS2 || code == BTN_STYLUS3) return isPen(device);
  return false;
}

bool worthListening(const Capabilities& device) {
  for (std::size_t code = 0; code < device.keys.size(); ++code) {
    if (!device.keys.test(code)) continue;
    const auto c = static_cast<std::uint16_t>(code);
    if (ansiKeyCodeOfEvdev(c) || modifierBit(c) || isClick(c, device)) return true;
  }
  return false;
}

Outcome Presses::handle(const KeyEvent& event, const Capabilities& device, PressSink& sink) {
  if (modifierBit(event.code)) {
    restore(event.device, event.code, event.value != 0);
    return std::nullopt;
  }
  if (event.value == 0) return std::nullopt;
  if (auto ansi = ansiKeyCodeOfEvdev(event.code)) return sink.keyDown(*ansi, flags());
  // Buttons do not repeat; a second down without an up is not a second click.
  if (event.value == 1 && isClick(event.code, device)) return sink.buttonDown();
  return std::nullopt;
}

void Presses::restore(std::uint64_t device, std::uint16_t code, bool down) {
  auto bit = modifierBit(code);
  if (!bit) return;
  std::uint8_t& held = held_[device];
  held = down ? held | *bit : held & ~*bit;
}

std::uint64_t Presses::flags() const {
  std::uint8_t held = 0;
  for (const auto& [device, keys] : held_) held |= keys;
  std::uint64_t flags = 0;
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if (held & (1u << i)) flags |= kModifierKeys[i].second;
  }
  return flags;
}

}  // namespace quorvane::input::evdev
