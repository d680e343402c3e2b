#include "input/x11/x11_automation.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>

#include <xcb/res.h>
#include <xcb/shape.h>
#include <xcb/xtest.h>

namespace quorvane::input {

using x11::Reply;

namespace {

// XTEST cannot scroll by pixels, only by wheel clicks, and how far one click
// scrolls is each toolkit's choice: about 50-60 px for three lines of text in
// Qt, Firefox and Chromium, up to ~100 px for a tall GTK view. Counting 100 px
// per click keeps every step within the distance asked for (a shorter scroll
// only costs the application one more step; a longer one would skip content).
constexpr int kPixelsPerWheelClick = 100;
constexpr xcb_button_t kWheelDown = 5;
// Frames hold the client a level or two down; deeper means it is no frame.
constexpr int kMaxFrameDepth = 4;

bool processAlive(std::int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// Waits until the server has handled everything sent so far.
void sync(x11::Connection& c) {
  free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
}

bool hasWmState(x11::Connection& c, xcb_window_t w, xcb_atom_t wmState) {
  Reply<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c.get(), xcb_get_property(c.get(), 0, w, wmState, XCB_ATOM_ANY, 0, 0), nullptr));
  return r && r->type != XCB_NONE;
}

// The client window inside a top-level window (itself when it is the client).
std::optional<xcb_window_t> findClient(x11::Connection& c, xcb_window_t w, xcb_atom_t wmState, int depth) {
  if (hasWmState(c, w, wmState)) return w;
  if (depth >= kMaxFrameDepth) return std::nullopt;
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), w), nullptr));
  if (!tree) return std::nullopt;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
    if (auto found = findClient(c, children[i], wmState, depth + 1)) return found;
  }
  return std::nullopt;
}

// Whether the window takes pointer input at the point (window coordinates):
// an input shape with no rectangle under the point lets the pointer through.
bool takesInputAt(x11::Connection& c, xcb_window_t w, int x, int y) {
  if (!c.hasExtension(&xcb_shape_id)) return true;
  Reply<xcb_shape_get_rectangles_reply_t> r(xcb_shape_get_rectangles_reply(
      c.get(), xcb_shape_get_rectangles(c.get(), w, XCB_SHAPE_SK_INPUT), nullptr));
  if (!r) return true;
  const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r.get());
  int n = xcb_shape_get_rectangles_rectangles_length(r.get());
  for (int i = 0; i < n; ++i) {
    if (x >= rects[i].x && x < rects[i].x + rects[i].width && y >= rects[i].y && y < rects[i].y + rects[i].height) {
      return true;
    }
  }
  return false;
}

}  // namespace

int X11Automation::wheelClicks(int pixels) { return std::max(1, pixels / kPixelsPerWheelClick); }

std::optional<std::int32_t> X11Automation::ownerOf(x11::Connection& c, xcb_window_t window) {
  if (c.hasExtension(&xcb_res_id)) {
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Reply<xcb_res_query_client_ids_reply_t> r(
        xcb_res_query_client_ids_reply(c.get(), xcb_res_query_client_ids(c.get(), 1, &spec), nullptr));
    if (r) {
      for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
        if (it.data->length == 4) {
          auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(it.data));
          if (pid > 0) return pid;
        }
      }
    }
  }
  auto pid = x11::cardinal(c, window, c.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
  if (pid && *pid > 0 && *pid <= 0x7FFFFFFF) return static_cast<std::int32_t>(*pid);
  return std::nullopt;
}

bool X11Automation::running(std::int32_t pid) {
  if (!processAlive(pid)) return false;
  auto clients = platform_.allClients();
  if (!clients) return false;
  return std::any_of(clients->begin(), clients->end(),
                     [&](const WindowDescription& d) { return asI32(d, WindowKey::OwnerPid) == pid; });
}

void X11Automation::requestActivation(x11::Connection& c, xcb_window_t window) {
  // Source 2 (a pager): the user asked for it, so focus-stealing prevention does not apply.
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = window;
  ev.type = c.atom("_NET_ACTIVE_WINDOW");
  ev.data.data32[0] = 2;
  ev.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(c.get(), 0, c.root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&ev));
  sync(c);
}

void X11Automation::activate(std::int32_t pid) {
  x11::Connection* c = platform_.connection();
  auto clients = platform_.allClients();
  if (!c || !clients) return;
  // The application's topmost window on screen stands for the application.
  for (const auto& d : *clients) {
    if (asI32(d, WindowKey::OwnerPid) == pid && asBool(d, WindowKey::IsOnscreen) == true &&
        asInteger(d, WindowKey::Layer) >= 0) {
      if (auto number = asU32(d, WindowKey::Number)) return requestActivation(*c, *number);
    }
  }
}

std::optional<std::int32_t> X11Automation::frontmostPid() {
  x11::Connection* c = platform_.connection();
  if (!c) return std::nullopt;
  auto active = x11::cardinal(*c, c->root(), c->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
  if (!active || *active == XCB_NONE) return std::nullopt;
  return ownerOf(*c, *active);
}

bool X11Automation::trusted() { return platform_.connection() != nullptr; }

std::optional<std::vector<AccessibilityWindow>> X11Automation::windows(std::int32_t pid) {
  auto clients = platform_.allClients();
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

bool X11Automation::raise(const AccessibilityWindow& window) {
  x11::Connection* c = platform_.connection();
  if (!c) return false;
  auto w = static_cast<xcb_window_t>(window.handle);
  Reply<xcb_get_window_attributes_reply_t> exists(
      xcb_get_window_attributes_reply(c->get(), xcb_get_window_attributes(c->get(), w), nullptr));
  if (!exists) return false;
  requestActivation(*c, w);
  return true;
}

std::optional<xcb_window_t> X11Automation::clientAt(x11::Connection& c, Point point) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), c.root()), nullptr));
  if (!tree) return std::nullopt;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int n = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  for (int i = 0; i < n; ++i) {
    attributes.push_back(xcb_get_window_attributes(c.get(), children[i]));
    geometries.push_back(xcb_get_geometry(c.get(), children[i]));
  }
  std::vector<Reply<xcb_get_window_attributes_reply_t>> a;
  std::vector<Reply<xcb_get_geometry_reply_t>> g;
  for (int i = 0; i < n; ++i) {
    a.emplace_back(xcb_get_window_attributes_reply(c.get(), attributes[i], nullptr));
    g.emplace_back(xcb_get_geometry_reply(c.get(), geometries[i], nullptr));
  }
  const xcb_atom_t wmState = c.atom("WM_STATE");
  // Children come bottom to top: the topmost window that takes the pointer there wins.
  for (int i = n - 1; i >= 0; --i) {
    if (!a[i] || !g[i] || a[i]->map_state != XCB_MAP_STATE_VIEWABLE) continue;
    int x = static_cast<int>(std::floor(point.x)) - g[i]->x;
    int y = static_cast<int>(std::floor(point.y)) - g[i]->y;
    int border = g[i]->border_width;
    if (x < -border || y < -border || x >= g[i]->width + border || y >= g[i]->height + border) continue;
    if (!takesInputAt(c, children[i], x, y)) continue;
    if (auto client = findClient(c, children[i], wmState, 0)) return client;
    return children[i];  // an unmanaged window (a popup, a panel) is its own element
  }
  return std::nullopt;
}

std::optional<std::int32_t> X11Automation::pidAt(Point point) {
  x11::Connection* c = platform_.connection();
  if (!c) return std::nullopt;
  auto w = clientAt(*c, point);
  if (!w) return std::nullopt;
  return ownerOf(*c, *w);
}

bool X11Automation::postAccess() {
  x11::Connection* c = platform_.connection();
  return c && c->hasExtension(&xcb_test_id);
}

std::optional<Point> X11Automation::pointerLocation() {
  x11::Connection* c = platform_.connection();
  if (!c) return std::nullopt;
  Reply<xcb_query_pointer_reply_t> r(
      xcb_query_pointer_reply(c->get(), xcb_query_pointer(c->get(), c->root()), nullptr));
  if (!r || !r->same_screen) return std::nullopt;
  return Point{static_cast<double>(r->root_x), static_cast<double>(r->root_y)};
}

bool X11Automation::movePointer(Point to) {
  x11::Connection* c = platform_.connection();
  if (!c || !c->hasExtension(&xcb_test_id) || !std::isfinite(to.x) || !std::isfinite(to.y)) return false;
  auto x = static_cast<int16_t>(std::clamp(std::lround(to.x), -32768L, 32767L));
  auto y = static_cast<int16_t>(std::clamp(std::lround(to.y), -32768L, 32767L));
  auto cookie = xcb_test_fake_input_checked(c->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, c->root(), x, y, 0);
  Reply<xcb_generic_error_t> error(xcb_request_check(c->get(), cookie));
  return !error;
}

WheelResult X11Automation::scrollWheel(Point at, int pixels, std::uint32_t target) {
  x11::Connection* c = platform_.connection();
  if (!c || !c->hasExtension(&xcb_test_id)) return WheelResult::CannotCreate;
  (void)at;  // the wheel turns where the pointer is; the caller has checked it rests on the point
  // Nothing may change between the last look and the wheel: no window may
  // close, move or cover the target while the server is ours.
  xcb_grab_server(c->get());
  WheelResult result = WheelResult::TargetChanged;
  auto pointer = pointerLocation();
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
  sync(*c);
  return result;
}

}  // namespace quorvane::input
