// How the kernel's input events read as the monitor's presses: which devices
// are worth listening to, which buttons are clicks, and the modifiers held on
// every keyboard together.
#pragma once

#include <bitset>
#include <cstdint>
#include <map>

#include "common/outcome.h"

namespace quorvane::input::evdev {

// Where presses go: the monitor core's key-down and button-down handlers.
class PressSink {
 public:
  virtual ~PressSink() = default;
  // A key with a name position went down or repeated, with the modifier flags held then.
  virtual Outcome keyDown(std::int64_t ansiKeyCode, std::uint64_t flags) = 0;
  // A button went down. Events carry no position: the pointer's is the caller's to find.
  virtual Outcome buttonDown() = 0;
};

inline constexpr std::size_t kKeyCodeCount = 0x300;  // KEY_CNT

// What a device can report, read once when it is opened.
struct Capabilities {
  std::bitset<kKeyCodeCount> keys;  // its key and button codes
  bool direct = false;              // drawn on directly: a touchscreen or a screen tablet
};

// Mouse buttons on any device; touching only where the touch is the pointer
// (a touchscreen, a pen), never on a touchpad, where it only moves it.
bool isClick(std::uint16_t code, const Capabilities& device);

// A device that can press a key the monitor names, a modifier, or click.
bool worthListening(const Capabilities& device);

// One key or button event of one device: value 0 up, 1 down, 2 repeat.
struct KeyEvent {
  std::uint64_t device = 0;
  std::uint16_t code = 0;
  std::int32_t value = 0;
};

// Tracks the modifiers held on each device and tells the sink of presses.
class Presses {
 public:
  Outcome handle(const KeyEvent& event, const Capabilities& device, PressSink& sink);
  // A key's state as the device reports it when opened, or after events were
  // lost: a modifier counts as held or not; nothing was pressed.
  void restore(std::uint64_t device, std::uint16_t code, bool down);
  // The device is gone: the keys it held are held no more.
  void forget(std::uint64_t device) { held_.erase(device); }
  // The modifier flags held on all devices together.
  std::uint64_t flags() const;

 private:
  std::map<std::uint64_t, std::uint8_t> held_;  // device -> the modifier keys it holds, one bit each
};

}  // namespace quorvane::input::evdev
