// quorvane-input on a compositor that lists its windows with their numbers,
// frames and owners (sway's tree, KWin's window list): every window question
// answered from that list, and a pointer of our own whose wheel turns only
// while the list shows the target under it. A backend tells how to read the
// list, bring a window to the front and work its pointer.
#pragma once

#include <memory>

#include "input/wayland/window_system.h"

namespace quorvane::input::wayland {

class ListedWindowSystem : public WaylandWindowSystem {
 public:
  using WaylandWindowSystem::WaylandWindowSystem;

  std::optional<WindowList> onScreenWindows() override { return windows(true); }
  // The one window with that number (a list naming two gives none).
  std::optional<WindowList> windowById(std::uint32_t number) override;
  bool running(std::int32_t pid) override { return frontWindowOf(pid).has_value(); }
  void activate(std::int32_t pid) override;
  // The compositor's list needs no permission beyond what gave it.
  bool accessibilityTrusted() override { return true; }
  // Each of the owner's windows, its number the handle.
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t pid) override;
  bool raise(const AccessibilityWindow& window) override;
  std::optional<std::int32_t> pidAt(Point point) override;
  WheelResult scrollWheel(int pixels, std::uint32_t target) override;

  // The accessibility view of the owner's windows in `list`: each its number
  // as handle, with its frame.
  static std::vector<AccessibilityWindow> accessibilityWindowsIn(const WindowList& list, std::int32_t pid);
  // The front window of `onScreen` holding the point; an empty description for none.
  static WindowDescription windowAt(WindowList onScreen, Point point);

 protected:
  // Every window front to back, or only those on screen; nothing when the
  // compositor did not answer.
  virtual std::optional<WindowList> windows(bool onScreenOnly) = 0;
  // The owner's frontmost window, on screen or not.
  virtual std::optional<std::uint32_t> frontWindowOf(std::int32_t pid) = 0;
  // Brings the window to the front; whether the compositor did.
  virtual bool focus(std::uint32_t number) = 0;
  // Where our pointer was last put; nothing before that.
  virtual std::optional<Point> placed() = 0;
  // Turns our pointer's wheel by `pixels` towards the content below; whether the compositor took it.
  virtual bool turnWheel(int pixels) = 0;

 private:
  // The front on-screen window at the point (an empty description for none);
  // nothing when the compositor did not answer.
  std::optional<WindowDescription> frontAt(Point point);
};

}  // namespace quorvane::input::wayland
