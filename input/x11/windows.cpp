// The window list and window lookup on X11.
#include <algorithm>
#include <fstream>

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xinput.h>

#include "common/text.h"
#include "common/x11/windows.h"
#include "input/x11/properties.h"
#include "input/x11/window_system.h"

namespace quorvane::input::x11 {

namespace {

using quorvane::x11::values32;

// Longest window lists we read: far beyond any real desktop, small enough to bound a hostile one.
constexpr std::uint32_t kMaxClients = 65536;
// Longest WM_CLASS read; names are cut to 160 characters later anyway.
constexpr std::uint32_t kMaxClassBytes = 4096;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Window layers as the core knows them: 0 is the normal layer.
constexpr std::int64_t kLayerNormal = 0;
constexpr std::int64_t kLayerPanel = 3;
constexpr std::int64_t kLayerDock = 20;
constexpr std::int64_t kLayerBelow = -1;
constexpr std::int64_t kLayerDesktop = -1000;

const std::vector<std::string_view> kAtomNames = {
    "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_CURRENT_DESKTOP", "_NET_WM_DESKTOP", "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_BELOW", "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_OPACITY", "_NET_FRAME_EXTENTS",
    "WM_STATE", "_NET_WM_PID", "_NET_ACTIVE_WINDOW"};

// The atoms the window list reads, in the order of kAtomNames (interned once per connection).
struct Atoms {
  explicit Atoms(const Connection& c) {
    auto a = c.atoms(kAtomNames);
    std::size_t i = 0;
    for (xcb_atom_t* field : {&clientList, &clientListStacking, &currentDesktop, &wmDesktop, &wmState,
                              &stateHidden, &stateSticky, &stateBelow, &wmWindowType, &typeDesktop, &typeDock}) {
      *field = a[i++];
    }
    panelTypes.assign(a.begin() + i, a.begin() + i + 9);
    i += 9;
    opacity = a[i++];
    frameExtents = a[i++];
  }
  xcb_atom_t clientList, clientListStacking, currentDesktop, wmDesktop, wmState, stateHidden, stateSticky, stateBelow;
  xcb_atom_t wmWindowType, typeDesktop, typeDock, opacity, frameExtents;
  std::vector<xcb_atom_t> panelTypes;  // utility, toolbar, menu, splash, notification and the popups
};

std::string procComm(std::int32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

using PropertyReply = Reply<xcb_get_property_reply_t>;

struct Probe {
  xcb_window_t window;
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  xcb_get_property_cookie_t state, desktop, type, opacity, wmClass, extents;
};

struct Replies {
  Reply<xcb_get_window_attributes_reply_t> attributes;
  Reply<xcb_get_geometry_reply_t> geometry;
  Reply<xcb_translate_coordinates_reply_t> origin;
  PropertyReply state, desktop, type, opacity, wmClass, extents;
};

struct Described {
  WindowDescription description;
  bool desktopElement = false;
  bool onScreen = false;
};

// Describes windows with one batch of requests (one round trip whatever the
// count). A window that vanished meanwhile gives no description.
class Describer {
 public:
  Describer(Connection& c, std::optional<std::uint32_t> currentDesktop)
      : c_(c), a_(c), currentDesktop_(currentDesktop) {}

  std::vector<std::optional<Described>> describe(const std::vector<xcb_window_t>& windows) {
    std::vector<Probe> probes;
    probes.reserve(windows.size());
    for (xcb_window_t w : windows) probes.push_back(ask(w));
    auto owners = quorvane::x11::ownerPids(c_, windows);
    std::vector<std::optional<Described>> result;
    result.reserve(windows.size());
    for (std::size_t i = 0; i < probes.size(); ++i) result.push_back(collect(probes[i], owners[i]));
    return result;
  }

 private:
  Probe ask(xcb_window_t w) {
    xcb_connection_t* x = c_.get();
    auto property = [&](xcb_atom_t name, xcb_atom_t type, std::uint32_t words) {
      return xcb_get_property(x, 0, w, name, type, 0, words);
    };
    return Probe{w,
                 xcb_get_window_attributes(x, w),
                 xcb_get_geometry(x, w),
                 xcb_translate_coordinates(x, w, c_.root(), 0, 0),
                 property(a_.wmState, XCB_ATOM_ATOM, 64),
                 property(a_.wmDesktop, XCB_ATOM_CARDINAL, 1),
                 property(a_.wmWindowType, XCB_ATOM_ATOM, 16),
                 property(a_.opacity, XCB_ATOM_CARDINAL, 1),
                 property(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kMaxClassBytes / 4),
                 property(a_.frameExtents, XCB_ATOM_CARDINAL, 4)};
  }

  Replies receive(const Probe& p) {
    xcb_connection_t* x = c_.get();
    auto property = [&](xcb_get_property_cookie_t cookie) {
      return PropertyReply(xcb_get_property_reply(x, cookie, nullptr));
    };
    return Replies{Reply<xcb_get_window_attributes_reply_t>(xcb_get_window_attributes_reply(x, p.attributes, nullptr)),
                   Reply<xcb_get_geometry_reply_t>(xcb_get_geometry_reply(x, p.geometry, nullptr)),
                   Reply<xcb_translate_coordinates_reply_t>(xcb_translate_coordinates_reply(x, p.origin, nullptr)),
                   property(p.state), property(p.desktop), property(p.type), property(p.opacity),
                   property(p.wmClass), property(p.extents)};
  }

  std::optional<Described> collect(const Probe& p, std::optional<std::int32_t> owner) {
    Replies r = receive(p);
    if (!r.attributes || !r.geometry || !r.origin) return std::nullopt;  // gone meanwhile

    Described out;
    WindowDescription& d = out.description;
    d.set(WindowKey::Number, std::int64_t{p.window});
    d.set(WindowKey::Bounds, boundsDict(frame(r)));
    auto states = values32(r.state.get(), XCB_ATOM_ATOM);
    auto has = [&](xcb_atom_t s) { return std::find(states.begin(), states.end(), s) != states.end(); };
    std::int64_t layer = layerOf(values32(r.type.get(), XCB_ATOM_ATOM));
    out.desktopElement = layer == kLayerDesktop;
    if (layer == kLayerNormal && has(a_.stateBelow)) layer = kLayerBelow;
    d.set(WindowKey::Layer, layer);
    if (auto o = values32(r.opacity.get(), XCB_ATOM_CARDINAL); !o.empty()) {
      d.set(WindowKey::Alpha, static_cast<double>(o[0]) / 4294967295.0);
    }
    if (owner) d.set(WindowKey::OwnerPid, std::int64_t{*owner});
    std::string name = wmClassName(r.wmClass.get());
    if (name.empty() && owner) name = procComm(*owner);
    if (!name.empty()) d.set(WindowKey::OwnerName, sanitizeUtf8(name));
    out.onScreen = r.attributes->map_state == XCB_MAP_STATE_VIEWABLE && !has(a_.stateHidden) &&
                   onThisDesktop(values32(r.desktop.get(), XCB_ATOM_CARDINAL), has(a_.stateSticky));
    d.set(WindowKey::IsOnscreen, out.onScreen);
    return out;
  }

  // The frame as a user sees it: the client plus the window manager's decorations.
  static Rect frame(const Replies& r) {
    auto ext = values32(r.extents.get(), XCB_ATOM_CARDINAL);
    double left = 0, right = 0, top = 0, bottom = 0;
    if (ext.size() == 4) {
      left = ext[0];
      right = ext[1];
      top = ext[2];
      bottom = ext[3];
    }
    return Rect{r.origin->dst_x - left, r.origin->dst_y - top, r.geometry->width + left + right,
                r.geometry->height + top + bottom};
  }

  bool onThisDesktop(const std::vector<std::uint32_t>& desktop, bool sticky) const {
    return desktop.empty() || !currentDesktop_ || desktop[0] == kAllDesktops || desktop[0] == *currentDesktop_ ||
           sticky;
  }

  std::int64_t layerOf(const std::vector<std::uint32_t>& types) const {
    for (xcb_atom_t t : types) {
      if (t == a_.typeDesktop) return kLayerDesktop;
      if (t == a_.typeDock) return kLayerDock;
      if (std::find(a_.panelTypes.begin(), a_.panelTypes.end(), t) != a_.panelTypes.end()) return kLayerPanel;
    }
    return kLayerNormal;
  }

  Connection& c_;
  Atoms a_;
  std::optional<std::uint32_t> currentDesktop_;
};

// Without a window manager there is no client list: the top-level windows,
// bottom to top, stand in for it.
std::vector<xcb_window_t> rootChildren(Connection& c, bool mappedOnly) {
  std::vector<xcb_window_t> result;
  for (const auto& t : quorvane::x11::topLevels(c)) {
    if (t.overrideRedirect || t.inputOnly || (mappedOnly && !t.viewable)) continue;
    result.push_back(t.window);
  }
  return result;
}

struct RootLists {
  std::optional<std::vector<xcb_window_t>> windows;  // bottom to top
  std::optional<std::uint32_t> desktop;
};

// A client list of the root and the current desktop, asked together.
RootLists rootLists(Connection& c, xcb_atom_t list, xcb_atom_t currentDesktop) {
  auto listCookie = xcb_get_property(c.get(), 0, c.root(), list, XCB_ATOM_WINDOW, 0, kMaxClients);
  auto desktopCookie = xcb_get_property(c.get(), 0, c.root(), currentDesktop, XCB_ATOM_CARDINAL, 0, 1);
  PropertyReply listReply(xcb_get_property_reply(c.get(), listCookie, nullptr));
  PropertyReply desktopReply(xcb_get_property_reply(c.get(), desktopCookie, nullptr));
  RootLists lists;
  if (listReply && listReply->type == XCB_ATOM_WINDOW && listReply->format == 32) {
    lists.windows = values32(listReply.get(), XCB_ATOM_WINDOW);
  }
  if (auto d = values32(desktopReply.get(), XCB_ATOM_CARDINAL); !d.empty()) lists.desktop = d[0];
  return lists;
}

// The clients of the root's list (or its children without a window manager), front to back.
std::pair<std::vector<xcb_window_t>, std::optional<std::uint32_t>> frontToBack(Connection& c, bool mappedOnly) {
  Atoms a(c);
  RootLists lists = rootLists(c, a.clientListStacking, a.currentDesktop);
  std::vector<xcb_window_t> windows = lists.windows ? *lists.windows : rootChildren(c, mappedOnly);
  std::reverse(windows.begin(), windows.end());  // X stacks bottom to top; the list is front to back
  return {windows, lists.desktop};
}

}  // namespace

XWindowSystem::XWindowSystem() = default;
XWindowSystem::~XWindowSystem() {
  if (ewmh_) xcb_ewmh_connection_wipe(ewmh_.get());
}

Connection* XWindowSystem::connection() {
  if (!tried_) {
    tried_ = true;
    conn_ = Connection::open();
    if (conn_) {
      // The extension query travels with the atoms: one round trip for both.
      xcb_prefetch_extension_data(conn_->get(), &xcb_res_id);
      conn_->atoms(kAtomNames);
    }
  }
  return conn_ && !conn_->broken() ? conn_.get() : nullptr;
}

bool XWindowSystem::listenAccess() {
  Connection* c = connection();
  if (!c || !c->hasExtension(&xcb_input_id)) return false;
  Reply<xcb_input_xi_query_version_reply_t> v(
      xcb_input_xi_query_version_reply(c->get(), xcb_input_xi_query_version(c->get(), 2, 2), nullptr));
  return v && (v->major_version > 2 || (v->major_version == 2 && v->minor_version >= 2));
}

std::optional<WindowList> XWindowSystem::onScreenWindows() { return clients(true); }

std::optional<WindowList> XWindowSystem::allClients() { return clients(false); }

std::optional<WindowList> XWindowSystem::clients(bool onScreenOnly) {
  Connection* c = connection();
  if (!c) return std::nullopt;
  auto [windows, desktop] = frontToBack(*c, onScreenOnly);
  WindowList list;
  for (auto& d : Describer(*c, desktop).describe(windows)) {
    if (d && (!onScreenOnly || (d->onScreen && !d->desktopElement))) list.push_back(std::move(d->description));
  }
  if (c->broken()) return std::nullopt;
  return list;
}

std::optional<WindowList> XWindowSystem::windowById(std::uint32_t number) {
  Connection* c = connection();
  if (!c) return std::nullopt;
  Atoms a(*c);
  // Only top-level client windows have numbers; frames, children and ids of
  // nothing name no window.
  RootLists lists = rootLists(*c, a.clientList, a.currentDesktop);
  std::vector<xcb_window_t> known = lists.windows ? *lists.windows : rootChildren(*c, false);
  if (std::find(known.begin(), known.end(), number) == known.end()) return WindowList{};
  auto described = Describer(*c, lists.desktop).describe({number});
  if (c->broken()) return std::nullopt;
  if (!described[0]) return WindowList{};
  return WindowList{std::move(described[0]->description)};
}

}  // namespace quorvane::input::x11
