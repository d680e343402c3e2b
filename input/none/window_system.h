// quorvane-input with no window server to ask. Every question answers
// "nothing", so that each mode gives its own error; the Wayland backend
// (wayland/) starts from these answers for what its compositor does not tell.
#pragma once

#include "input/window_system.h"

namespace quorvane::input::none {

class NoWindowSystem : public WindowSystem {
 public:
  std::optional<WindowList> onScreenWindows() override { return std::nullopt; }
  std::optional<WindowList> windowById(std::uint32_t) override { return std::nullopt; }
  bool running(std::int32_t) override { return false; }
  void activate(std::int32_t) override {}
  std::optional<std::int32_t> frontmostPid() override { return std::nullopt; }
  bool accessibilityTrusted() override { return false; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t) override { return std::nullopt; }
  bool raise(const AccessibilityWindow&) override { return false; }
  std::optional<std::int32_t> pidAt(Point) override { return std::nullopt; }
  bool postAccess() override { return false; }
  std::optional<Point> pointerLocation() override { return std::nullopt; }
  bool movePointer(Point) override { return false; }
  WheelResult scrollWheel(int, std::uint32_t) override { return WheelResult::CannotCreate; }
  bool listenAccess() override { return false; }
  ListenGrant listenGrant() override { return ListenGrant::systemSettings; }
  Rect displayBounds(std::uint32_t) override { return {}; }
  bool startListening() override { return false; }
  bool listening() override { return false; }
  std::vector<int> pressDescriptors() override { return {}; }
  Outcome drainPresses(PressHandler&) override { return std::nullopt; }
};

}  // namespace quorvane::input::none
