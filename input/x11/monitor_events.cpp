#include "input/x11/monitor_events.h"

#include "input/key_names.h"

namespace quorvane::input::x11 {

namespace {

constexpr std::uint32_t kFirstWheelButton = 4;  // up, down, left, right
constexpr std::uint32_t kLastWheelButton = 7;

}  // namespace

std::uint64_t flagsFromModifiers(std::uint32_t xModifiers) {
  std::uint64_t flags = 0;
  if (xModifiers & kXMod4) flags |= kFlagCommand;
  if (xModifiers & kXControl) flags |= kFlagControl;
  if (xModifiers & kXMod1) flags |= kFlagOption;
  if (xModifiers & kXShift) flags |= kFlagShift;
  return flags;
}

bool isClickButton(std::uint32_t button) {
  return button != 0 && (button < kFirstWheelButton || button > kLastWheelButton);
}

}  // namespace quorvane::input::x11
