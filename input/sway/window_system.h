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
#include "input/wayland/listed_window_system.h"
#include "input/wayland/wlr_pointer.h"

namespace quorvane::input::sway {

using quorvane::wayland::SwayIpc;
using quorvane::wayland::SwayTree;

class SwayWindowSystem final : public wayland::ListedWindowSystem {
 public:
  SwayWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection, std::unique_ptr<SwayIpc> ipc);

  std::optional<std::int32_t> frontmostPid() override;

  // A virtual pointer of our own: its place is known only where we put it.
  bool postAccess() override;
  std::optional<Point> pointerLocation() override { return placed(); }
  bool movePointer(Point to) override;

 protected:
  std::optional<WindowList> windows(bool onScreenOnly) override;
  std::optional<std::uint32_t> frontWindowOf(std::int32_t pid) override;
  // Focuses the view (and shows its workspace).
  bool focus(std::uint32_t id) override;
  std::optional<Point> placed() override;
  bool turnWheel(int pixels) override;

 private:
  // The tree as sway has it now; nothing when sway did not answer with one.
  std::optional<SwayTree> tree();

  std::unique_ptr<SwayIpc> ipc_;
  std::unique_ptr<wayland::WlrPointer> pointer_;
};

}  // namespace quorvane::input::sway
