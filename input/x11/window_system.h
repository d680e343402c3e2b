// quorvane-input on X11. Window numbers are client window ids; bounds are
// frame rectangles in root coordinates; owners come from X-Resource with
// _NET_WM_PID as fallback. Applications are processes with client windows,
// activated through the window manager (_NET_ACTIVE_WINDOW); the accessibility
// view of a window is its client window and frame; synthetic pointer and wheel
// events go through XTEST; listening is XInput 2.2 raw presses on the root,
// with the modifiers tracked from XKB state events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include "common/outcome.h"
#include "common/x11/connection.h"
#include "input/window_system.h"

namespace quorvane::input::x11 {

using quorvane::x11::Connection;
using quorvane::x11::Reply;

// The pixel holding a point (floored); nothing for a point outside the
// 16-bit coordinates X windows live in (frame sizes come from other clients).
std::optional<std::pair<int, int>> pixelOf(Point point);

class XWindowSystem final : public WindowSystem {
 public:
  XWindowSystem();
  ~XWindowSystem() override;

  std::optional<WindowList> onScreenWindows() override;
  std::optional<WindowList> windowById(std::uint32_t number) override;

  bool running(std::int32_t pid) override;
  void activate(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostPid() override;

  // X has no permission system: a working connection is the permission.
  bool accessibilityTrusted() override { return connection() != nullptr; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t pid) override;
  bool raise(const AccessibilityWindow& window) override;
  std::optional<std::int32_t> pidAt(Point point) override;

  bool postAccess() override;
  std::optional<Point> pointerLocation() override;
  bool movePointer(Point to) override;
  WheelResult scrollWheel(int pixels, std::uint32_t target) override;

  // Listening works when the server offers XInput 2.2.
  bool listenAccess() override;
  ListenGrant listenGrant() override { return ListenGrant::systemSettings; }
  // RandR monitors, by name atom; all zero for an unknown id.
  Rect displayBounds(std::uint32_t displayId) override;
  bool startListening() override;
  // X has no switch for listening: it stops when the connection is lost.
  bool listening() override { return connection() != nullptr; }
  // The connection's socket: presses come as events on it.
  std::vector<int> pressDescriptors() override;
  Outcome drainPresses(PressHandler& handler) override;

 private:
  // The connection, opened on first use; nullptr when no X server answers.
  Connection* connection();
  // Every managed client window, front to back, on screen or not.
  std::optional<WindowList> allClients();
  // The client windows front to back, all of them or those on screen (desktop elements left out).
  std::optional<WindowList> clients(bool onScreenOnly);
  // The client window under the point, as the pointer would find it.
  std::optional<xcb_window_t> clientAt(Connection& c, Point point);
  void requestActivation(Connection& c, xcb_window_t window);
  bool selectRawPresses(Connection& c);
  bool trackModifiers(Connection& c);
  Outcome handle(PressHandler& handler, const xcb_generic_event_t* event);

  std::unique_ptr<Connection> conn_;
  bool tried_ = false;
  std::unique_ptr<xcb_ewmh_connection_t> ewmh_;
  std::uint8_t xinputOpcode_ = 0;
  std::uint8_t xkbFirstEvent_ = 0;
  std::uint64_t flags_ = 0;  // the modifiers held now, as key-down flags
};

}  // namespace quorvane::input::x11
