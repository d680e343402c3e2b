// Focusing and auto-scroll on X11: applications, the accessibility view of
// windows, the hit test, and synthetic pointer and wheel events.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <xcb/shape.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xtest.h>

#include "common/posix/process.h"
#include "input/scroll/scroll_rules.h"
#include "common/x11/windows.h"
#include "input/x11/window_system.h"

namespace quorvane::input::x11 {

namespace {

namespace qx = quorvane::x11;

// XTEST cannot scroll by pixels, only by wheel clicks, and how far one click
// scrolls is each toolkit's choice: about 50-60 px for three lines of text in
// Qt, Firefox and Chromium, up to ~100 px for a tall GTK view. Counting 100 px
// per click keeps every step within the distance asked for (a shorter scroll
// only costs the application one more step; a longer one would skip content).
constexpr xcb_button_t kWheelDown = 5;
constexpr double kSmallestCoordinate = -32768, kBeyondLargestCoordinate = 32768;

// For each window (window coordinates of the point), whether it takes pointer
// input there: an input shape with no rectangle under the point lets the
// pointer through. One round trip for all.
std::vector<bool> takeInputAt(Connection& c, const std::vector<qx::TopLevel>& windows, std::pair<int, int> pixel) {
  std::vector<bool> takes(windows.size(), true);
  if (!c.hasExtension(&xcb_shape_id)) return takes;
  std::vector<xcb_shape_get_rectangles_cookie_t> cookies;
  for (const auto& w : windows) cookies.push_back(xcb_shape_get_rectangles(c.get(), w.window, XCB_SHAPE_SK_INPUT));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_shape_get_rectangles_reply_t> r(xcb_shape_get_rectangles_reply(c.get(), cookies[i], nullptr));
    if (!r) continue;
    const int x = pixel.first - windows[i].x, y = pixel.second - windows[i].y;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r.get());
    const auto n = qx::itemsWithin(r.get(), rects, r->rectangles_len, sizeof *rects);
    takes[i] = std::any_of(rects, rects + n, [&](const xcb_rectangle_t& b) {
      return x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height;
    });
  }
  return takes;
}

}  // namespace


std::optional<std::pair<int, int>> pixelOf(Point p) {
  const double x = std::floor(p.x), y = std::floor(p.y);
  if (!(x >= kSmallestCoordinate && x < kBeyondLargestCoordinate && y >= kSmallestCoordinate &&
        y < kBeyondLargestCoordinate)) {
    return std::nullopt;
  }
  return std::pair<int, int>{static_cast<int>(x), static_cast<int>(y)};
}

bool XWindowSystem::running(std::int32_t pid) {
  if (!quorvane::posix::processAlive(pid)) return false;
  auto clients = allClients();
  if (!clients) return false;
  return std::any_of(clients->begin(), clients->end(),
                     [&](const WindowDescription& d) { return asI32(d, WindowKey::OwnerPid) == pid; });
}

void XWindowSystem::requestActivation(Connection& c, xcb_window_t window) {
  if (!ewmh_) {
    ewmh_ = std::make_unique<xcb_ewmh_connection_t>();
    std::memset(ewmh_.get(), 0, sizeof(xcb_ewmh_connection_t));
    if (!xcb_ewmh_init_atoms_replies(ewmh_.get(), xcb_ewmh_init_atoms(c.get(), ewmh_.get()), nullptr)) {
      ewmh_.reset();
      return;
    }
  }
  // Source 2 (a pager): the user asked for it, so focus-stealing prevention does not apply.
  int screen = 0;
  while (screen + 1 < ewmh_->nb_screens && ewmh_->screens[screen]->root != c.root()) ++screen;
  xcb_ewmh_request_change_active_window(ewmh_.get(), screen, window, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                        XCB_CURRENT_TIME, XCB_NONE);
  qx::sync(c);
}

void XWindowSystem::activate(std::int32_t pid) {
  Connection* c = connection();
  auto clients = allClients();
  if (!c || !clients) return;
  // The application's topmost window on screen stands for the application.
  for (const auto& d : *clients) {
    if (asI32(d, WindowKey::OwnerPid) == pid && asBool(d, WindowKey::IsOnscreen) == true &&
        asInteger(d, WindowKey::Layer) >= 0) {
      if (auto number = asU32(d, WindowKey::Number)) return requestActivation(*c, *number);
    }
  }
}

std::optional<std::int32_t> XWindowSystem::frontmostPid() {
  Connection* c = connection();
  if (!c) return std::nullopt;
  auto active = qx::cardinal(*c, c->root(), c->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
  if (!active || *active == XCB_NONE) return std::nullopt;
  return qx::ownerPid(*c, *active);
}

std::optional<std::vector<AccessibilityWindow>> XWindowSystem::accessibilityWindows(std::int32_t pid) {
  auto clients = allClients();
  if (!clients) return std::nullopt;
  std::vector<AccessibilityWindow> result;
  for (const auto& d : *clients) {
    if (asI32(d, WindowKey::OwnerPid) != pid) continue;
    auto number = asU32(d, WindowKey::Number);
    if (!number) continue;
    AccessibilityWindow w;
    w.handle = *number;
    if (auto r = asRect(d, WindowKey::Bounds)) {
      w.position = Point{r->minX(), r->minY()};
      w.size = Point{r->w(), r->h()};
    }
    result.push_back(w);
  }
  return result;
}

bool XWindowSystem::raise(const AccessibilityWindow& window) {
  Connection* c = connection();
  if (!c) return false;
  auto w = static_cast<xcb_window_t>(window.handle);
  Reply<xcb_get_window_attributes_reply_t> exists(
      xcb_get_window_attributes_reply(c->get(), xcb_get_window_attributes(c->get(), w), nullptr));
  if (!exists) return false;
  requestActivation(*c, w);
  return true;
}

std::optional<xcb_window_t> XWindowSystem::clientAt(Connection& c, Point point) {
  auto pixel = pixelOf(point);
  if (!pixel) return std::nullopt;
  // Every top-level window holding the point, topmost first (children come bottom to top).
  std::vector<qx::TopLevel> holding;
  for (const auto& t : qx::topLevels(c)) {
    const int x = pixel->first - t.x, y = pixel->second - t.y, border = static_cast<int>(t.border);
    if (!t.viewable || x < -border || y < -border || x >= static_cast<int>(t.width) + border ||
        y >= static_cast<int>(t.height) + border) {
      continue;
    }
    holding.insert(holding.begin(), t);
  }
  auto takes = takeInputAt(c, holding, *pixel);
  for (std::size_t i = 0; i < holding.size(); ++i) {
    if (!takes[i]) continue;
    xcb_window_t client = qx::clientWindows(c, {holding[i].window})[0];
    // An unmanaged window (a popup, a panel) is its own element.
    return client != XCB_NONE ? client : holding[i].window;
  }
  return std::nullopt;
}

std::optional<std::int32_t> XWindowSystem::pidAt(Point point) {
  Connection* c = connection();
  if (!c) return std::nullopt;
  auto w = clientAt(*c, point);
  if (!w) return std::nullopt;
  return qx::ownerPid(*c, *w);
}

bool XWindowSystem::postAccess() {
  Connection* c = connection();
  return c && c->hasExtension(&xcb_test_id);
}

std::optional<Point> XWindowSystem::pointerLocation() {
  Connection* c = connection();
  if (!c) return std::nullopt;
  return qx::pointer(*c);
}

bool XWindowSystem::movePointer(Point to) {
  Connection* c = connection();
  if (!c || !c->hasExtension(&xcb_test_id) || !std::isfinite(to.x) || !std::isfinite(to.y)) return false;
  auto x = static_cast<int16_t>(std::lround(std::clamp(to.x, -32768.0, 32767.0)));
  auto y = static_cast<int16_t>(std::lround(std::clamp(to.y, -32768.0, 32767.0)));
  auto cookie = xcb_test_fake_input_checked(c->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, c->root(), x, y, 0);
  Reply<xcb_generic_error_t> error(xcb_request_check(c->get(), cookie));
  return !error;
}

WheelResult XWindowSystem::scrollWheel(int pixels, std::uint32_t target) {
  Connection* c = connection();
  if (!c || !c->hasExtension(&xcb_test_id)) return WheelResult::CannotCreate;
  // Nothing may change between the last look and the wheel: no window may
  // close, move or cover the target while the server is ours.
  xcb_grab_server(c->get());
  WheelResult result = WheelResult::TargetChanged;
  auto pointer = qx::pointer(*c);
  if (pointer && clientAt(*c, *pointer) == target) {
    result = WheelResult::Posted;
    for (int i = 0; i < wheelClicks(pixels); ++i) {
      auto press = xcb_test_fake_input_checked(c->get(), XCB_BUTTON_PRESS, kWheelDown, XCB_CURRENT_TIME, XCB_NONE,
                                               0, 0, 0);
      auto release = xcb_test_fake_input_checked(c->get(), XCB_BUTTON_RELEASE, kWheelDown, XCB_CURRENT_TIME,
                                                 XCB_NONE, 0, 0, 0);
      Reply<xcb_generic_error_t> e1(xcb_request_check(c->get(), press));
      Reply<xcb_generic_error_t> e2(xcb_request_check(c->get(), release));
      if (e1 || e2) {
        result = WheelResult::CannotCreate;
        break;
      }
    }
  }
  xcb_ungrab_server(c->get());
  qx::sync(*c);
  return result;
}

}  // namespace quorvane::input::x11
