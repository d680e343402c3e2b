// quorvane-input on sway: everything of any Wayland session, and sway's IPC
// for the windows. Window numbers are the tree's node ids, bounds the views'
// rectangles with their title bars, owners the views' pids; an application is
// a pid with views, activated by focusing its frontmost view; the
// accessibility view of a window is its view, raised by focusing it; the
// pointer and the wheel are a virtual pointer (wlroots) of our own.
#pragma once

#include <memory>

#include "common/wayland/sway_ipc.h"
#include "common/wayland/sway_tree.h"
#include "input/wayland/window_system.h"
#include "input/wayland/wlr_pointer.h"

namespace quorvane::input::sway {

using quorvane::wayland::SwayIpc;
using quorvane::wayland::SwayTree;

class SwayWindowSystem final : public wayland::WaylandWindowSystem {
 public:
  SwayWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection, std::unique_ptr<SwayIpc> ipc);

  std::optional<WindowList> onScreenWindows() override;
  std::optional<WindowList> windowById(std::uint32_t number) override;

  bool running(std::int32_t pid) override;
  void activate(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostPid() override;

  // sway's IPC needs no permission beyond being the session's.
  bool accessibilityTrusted() override { return true; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t pid) override;
  bool raise(const AccessibilityWindow& window) override;
  std::optional<std::int32_t> pidAt(Point point) override;

  // A virtual pointer of our own: its place is known only where we put it.
  bool postAccess() override;
  std::optional<Point> pointerLocation() override;
  bool movePointer(Point to) override;
  WheelResult scrollWheel(int pixels, std::uint32_t target) override;

 private:
  // The tree as sway has it now; nothing when sway did not answer with one.
  std::optional<SwayTree> tree();
  // The front view on screen at the point (an empty description for none);
  // nothing when sway did not answer.
  std::optional<WindowDescription> viewAt(Point point);
  // Focuses the view (and shows its workspace); whether sway did.
  bool focus(std::uint64_t id);

  std::unique_ptr<SwayIpc> ipc_;
  std::unique_ptr<wayland::WlrPointer> pointer_;
};

}  // namespace quorvane::input::sway
