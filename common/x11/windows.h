// Top-level windows, the clients inside window-manager frames, their owners and
// the pointer: the X11 mechanisms every program's backend asks about. Each
// query is batched (one round trip per level of the window tree, whatever the
// number of windows) and tolerates windows that vanish while they are asked about.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

#include "common/geometry.h"
#include "common/x11/connection.h"

namespace quorvane::x11 {

// More top-level windows than any desktop has: a bound on what another client
// can make us ask about.
inline constexpr std::size_t kMaxWindows = 4096;

// The children of a window, bottom to top, at most kMaxWindows.
std::vector<xcb_window_t> children(const Connection& c, xcb_window_t window);

struct TopLevel {
  xcb_window_t window = XCB_NONE;
  std::int32_t x = 0, y = 0;  // outer corner, root coordinates
  std::uint32_t width = 0, height = 0, border = 0;
  bool viewable = false;
  bool inputOnly = false;
  bool overrideRedirect = false;
  xcb_visualid_t visual = 0;
};

// Every child of the root with its attributes and geometry, bottom to top.
std::vector<TopLevel> topLevels(const Connection& c);

// For each frame, the window at or under it that carries WM_STATE (the client
// the user sees), searched breadth first a level at a time; XCB_NONE where
// there is none within a window manager's usual nesting.
std::vector<xcb_window_t> clientWindows(const Connection& c, const std::vector<xcb_window_t>& frames);

// Each frame and every window inside it down to the levels where a window
// manager nests its client, the frame first; not complete where more windows
// lie there than are asked about.
struct Inside {
  std::vector<xcb_window_t> windows;
  bool complete = true;
};
std::vector<Inside> windowsInside(const Connection& c, const std::vector<xcb_window_t>& frames);

// The pid of the process that owns each window: X-Resource (the server knows
// the client's pid), else the _NET_WM_PID the window claims; nothing when
// neither tells or the value is not a valid pid.
std::vector<std::optional<std::int32_t>> ownerPids(const Connection& c, const std::vector<xcb_window_t>& windows);
std::optional<std::int32_t> ownerPid(const Connection& c, xcb_window_t window);

// topLevels, with windowsInside and the ownerPids of those windows for each,
// asked together: the owners with the first question, the first level inside
// with the attributes. Two round trips fewer than asking in turn.
struct OwnedTopLevel {
  TopLevel top;
  Inside inside;
  std::vector<std::optional<std::int32_t>> pids;  // of inside.windows, in order
};
std::vector<OwnedTopLevel> ownedTopLevels(const Connection& c);

// The pointer in root coordinates; nothing when it cannot be read or is on
// another screen.
std::optional<Point> pointer(const Connection& c);

// The wallpaper pixmap a desktop published on the root (_XROOTPMAP_ID).
std::optional<xcb_pixmap_t> rootPixmap(const Connection& c);

// Waits until the server has handled every request sent so far.
void sync(const Connection& c);

}  // namespace quorvane::x11
