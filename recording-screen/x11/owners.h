// The top-level windows of the screen and the processes that own them.
#pragma once

#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

#include "common/x11/connection.h"

namespace quorvane::recording::x11 {

using quorvane::x11::Connection;

inline constexpr std::int32_t kUnknownPid = -1;

struct TopLevel {
  xcb_window_t window = XCB_NONE;
  std::int32_t x = 0, y = 0;  // outer corner, root coordinates
  std::uint32_t width = 0, height = 0, border = 0;
  bool viewable = false;
  bool inputOnly = false;
  xcb_visualid_t visual = 0;
  // The owner of the window the user sees: the client inside a window
  // manager's frame, else the top-level itself.
  std::int32_t pid = kUnknownPid;
};

// Every child of the root, bottom to top. Windows that vanish while they are
// being asked about are left out. A few round trips, however many windows.
std::vector<TopLevel> topLevels(const Connection& c);

// The distinct known owners, in stacking order.
std::vector<std::int32_t> ownerPids(const std::vector<TopLevel>& windows);

}  // namespace quorvane::recording::x11
