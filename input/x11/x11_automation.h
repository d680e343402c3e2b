// Focusing and auto-scroll on X11: applications are processes with client
// windows, activation goes through the window manager (_NET_ACTIVE_WINDOW),
// the accessibility view of a window is its client window and frame, and
// synthetic pointer and wheel events go through XTEST.
#pragma once

#include <optional>

#include "input/automation_platform.h"
#include "input/x11/x11_platform.h"

namespace quorvane::input {

class X11Automation : public Applications, public Accessibility, public SyntheticEvents {
 public:
  explicit X11Automation(X11Platform& platform) : platform_(platform) {}

  bool running(std::int32_t pid) override;
  void activate(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostPid() override;

  bool trusted() override;
  std::optional<std::vector<AccessibilityWindow>> windows(std::int32_t pid) override;
  bool raise(const AccessibilityWindow& window) override;
  std::optional<std::int32_t> pidAt(Point point) override;

  bool postAccess() override;
  void requestPostAccess() override {}
  std::optional<Point> pointerLocation() override;
  bool movePointer(Point to) override;
  WheelResult scrollWheel(Point at, int pixels, std::uint32_t target) override;

  // A wheel step of n pixels as whole wheel clicks: never further than asked, at least one.
  static int wheelClicks(int pixels);

 private:
  // The client window under the point, as the pointer would find it.
  std::optional<xcb_window_t> clientAt(x11::Connection& c, Point point);
  std::optional<std::int32_t> ownerOf(x11::Connection& c, xcb_window_t window);
  void requestActivation(x11::Connection& c, xcb_window_t window);

  X11Platform& platform_;
};

}  // namespace quorvane::input
