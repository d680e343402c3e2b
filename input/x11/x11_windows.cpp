// The window list and window lookup on X11.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <unistd.h>

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include "common/text.h"
#include "input/x11/x11_atoms.h"

namespace quorvane::input {

using x11::Reply;

X11Platform::Atoms::Atoms(const x11::Connection& c) {
  auto a = c.atoms({"_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_CURRENT_DESKTOP", "_NET_ACTIVE_WINDOW",
                    "_NET_WM_DESKTOP", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_STICKY",
                    "_NET_WM_STATE_BELOW", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP",
                    "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR",
                    "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_SPLASH", "_NET_WM_WINDOW_TYPE_NOTIFICATION",
                    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
                    "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_OPACITY",
                    "_NET_WM_PID", "_NET_FRAME_EXTENTS", "WM_STATE", "UTF8_STRING"});
  size_t i = 0;
  for (xcb_atom_t* field :
       {&clientList, &clientListStacking, &currentDesktop, &activeWindow, &wmDesktop, &wmState, &stateHidden,
        &stateSticky, &stateBelow, &wmWindowType, &typeDesktop, &typeDock, &typeUtility, &typeToolbar, &typeMenu,
        &typeSplash, &typeNotification, &typeDropdownMenu, &typePopupMenu, &typeTooltip, &typeCombo, &opacity,
        &wmPid, &frameExtents, &icccmState, &utf8String}) {
    *field = a[i++];
  }
}

X11Platform::X11Platform() = default;
X11Platform::~X11Platform() = default;

x11::Connection* X11Platform::connection() {
  if (!tried_) {
    tried_ = true;
    conn_ = x11::Connection::open();
    if (conn_) {
      // The extension query travels with the atoms: one round trip for both.
      xcb_prefetch_extension_data(conn_->get(), &xcb_res_id);
      atoms_ = std::make_unique<Atoms>(*conn_);
    }
  }
  return conn_ && !conn_->broken() ? conn_.get() : nullptr;
}

const X11Platform::Atoms& X11Platform::atoms() { return *atoms_; }

std::int32_t X11Platform::parentPid() { return static_cast<std::int32_t>(getppid()); }
std::int32_t X11Platform::ownPid() { return static_cast<std::int32_t>(getpid()); }

bool X11Platform::listenAccess() {
  x11::Connection* c = connection();
  if (!c || !c->hasExtension(&xcb_input_id)) return false;
  Reply<xcb_input_xi_query_version_reply_t> v(
      xcb_input_xi_query_version_reply(c->get(), xcb_input_xi_query_version(c->get(), 2, 2), nullptr));
  return v && (v->major_version > 2 || (v->major_version == 2 && v->minor_version >= 2));
}

namespace {

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

struct Probe {
  xcb_window_t window;
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  xcb_get_property_cookie_t state, desktop, type, opacity, pid, wmClass, extents;
};

std::vector<std::uint32_t> propertyValues32(xcb_get_property_reply_t* r, xcb_atom_t type) {
  if (!r || r->type != type || r->format != 32) return {};
  const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
  return {v, v + xcb_get_property_value_length(r) / 4};
}

std::string procComm(std::int32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// The class part of WM_CLASS ("instance\0class\0"); empty when absent.
std::string wmClassName(xcb_get_property_reply_t* r) {
  if (!r || r->format != 8 || r->type != XCB_ATOM_STRING) return {};
  std::string raw(static_cast<const char*>(xcb_get_property_value(r)),
                  static_cast<size_t>(xcb_get_property_value_length(r)));
  auto nul = raw.find('\0');
  if (nul == std::string::npos) return {};
  std::string cls = raw.substr(nul + 1);
  if (auto end = cls.find('\0'); end != std::string::npos) cls.resize(end);
  return cls;
}

}  // namespace

// Describes windows with one batch of requests (one round trip whatever the
// count). A window that vanished meanwhile gives no description.
struct Describer {
  x11::Connection& c;
  const X11Platform::Atoms& a;
  std::optional<std::uint32_t> currentDesktop;

  struct Described {
    WindowDescription description;
    bool desktopElement = false;
    bool onScreen = false;
  };

  std::vector<std::optional<Described>> describe(const std::vector<xcb_window_t>& windows) {
    xcb_connection_t* x = c.get();
    std::vector<Probe> probes;
    probes.reserve(windows.size());
    for (xcb_window_t w : windows) {
      Probe p{};
      p.window = w;
      p.attributes = xcb_get_window_attributes(x, w);
      p.geometry = xcb_get_geometry(x, w);
      p.origin = xcb_translate_coordinates(x, w, c.root(), 0, 0);
      p.state = xcb_get_property(x, 0, w, a.wmState, XCB_ATOM_ATOM, 0, 64);
      p.desktop = xcb_get_property(x, 0, w, a.wmDesktop, XCB_ATOM_CARDINAL, 0, 1);
      p.type = xcb_get_property(x, 0, w, a.wmWindowType, XCB_ATOM_ATOM, 0, 16);
      p.opacity = xcb_get_property(x, 0, w, a.opacity, XCB_ATOM_CARDINAL, 0, 1);
      p.pid = xcb_get_property(x, 0, w, a.wmPid, XCB_ATOM_CARDINAL, 0, 1);
      p.wmClass = xcb_get_property(x, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kMaxClassBytes / 4);
      p.extents = xcb_get_property(x, 0, w, a.frameExtents, XCB_ATOM_CARDINAL, 0, 4);
      probes.push_back(p);
    }
    auto owners = clientPids(windows);

    std::vector<std::optional<Described>> result;
    result.reserve(windows.size());
    for (size_t i = 0; i < probes.size(); ++i) result.push_back(collect(probes[i], owners[i]));
    return result;
  }

  // Owner pids from the server itself (X-Resource), one request for all windows.
  std::vector<std::optional<std::int32_t>> clientPids(const std::vector<xcb_window_t>& windows) {
    std::vector<std::optional<std::int32_t>> pids(windows.size());
    if (windows.empty() || !c.hasExtension(&xcb_res_id)) return pids;
    const std::uint32_t idMask = xcb_get_setup(c.get())->resource_id_mask;
    std::vector<xcb_res_client_id_spec_t> specs;
    for (xcb_window_t w : windows) specs.push_back({w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
    Reply<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(
        c.get(), xcb_res_query_client_ids(c.get(), static_cast<uint32_t>(specs.size()), specs.data()), nullptr));
    if (!r) return pids;
    std::map<std::uint32_t, std::int32_t> byClient;
    for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
      if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || it.data->length != 4) continue;
      byClient[it.data->spec.client & ~idMask] =
          static_cast<std::int32_t>(*xcb_res_client_id_value_value(it.data));
    }
    for (size_t i = 0; i < windows.size(); ++i) {
      auto it = byClient.find(windows[i] & ~idMask);
      if (it != byClient.end() && it->second > 0) pids[i] = it->second;
    }
    return pids;
  }

  std::optional<Described> collect(const Probe& p, std::optional<std::int32_t> serverPid) {
    xcb_connection_t* x = c.get();
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(x, p.attributes, nullptr));
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x, p.geometry, nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(x, p.origin, nullptr));
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(x, p.state, nullptr));
    Reply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(x, p.desktop, nullptr));
    Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(x, p.type, nullptr));
    Reply<xcb_get_property_reply_t> opacity(xcb_get_property_reply(x, p.opacity, nullptr));
    Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(x, p.pid, nullptr));
    Reply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(x, p.wmClass, nullptr));
    Reply<xcb_get_property_reply_t> extents(xcb_get_property_reply(x, p.extents, nullptr));
    if (!attributes || !geometry || !origin) return std::nullopt;  // gone meanwhile

    Described out;
    WindowDescription& d = out.description;
    d.set(WindowKey::Number, std::int64_t{p.window});

    // The frame as a user sees it: the client plus the window manager's decorations.
    auto ext = propertyValues32(extents.get(), XCB_ATOM_CARDINAL);
    double left = 0, right = 0, top = 0, bottom = 0;
    if (ext.size() == 4) {
      left = ext[0];
      right = ext[1];
      top = ext[2];
      bottom = ext[3];
    }
    Rect frame{origin->dst_x - left, origin->dst_y - top, geometry->width + left + right,
               geometry->height + top + bottom};
    d.set(WindowKey::Bounds, boundsDict(frame));

    auto states = propertyValues32(state.get(), XCB_ATOM_ATOM);
    auto has = [&](xcb_atom_t s) { return std::find(states.begin(), states.end(), s) != states.end(); };
    auto types = propertyValues32(type.get(), XCB_ATOM_ATOM);
    std::int64_t layer = layerOf(types);
    out.desktopElement = layer == kLayerDesktop;
    if (layer == kLayerNormal && has(a.stateBelow)) layer = kLayerBelow;
    d.set(WindowKey::Layer, layer);

    if (auto o = propertyValues32(opacity.get(), XCB_ATOM_CARDINAL); !o.empty()) {
      d.set(WindowKey::Alpha, static_cast<double>(o[0]) / 4294967295.0);
    }

    std::optional<std::int32_t> owner = serverPid;
    if (!owner) {
      auto v = propertyValues32(pid.get(), XCB_ATOM_CARDINAL);
      if (!v.empty() && v[0] > 0 && v[0] <= 0x7FFFFFFF) owner = static_cast<std::int32_t>(v[0]);
    }
    if (owner) d.set(WindowKey::OwnerPid, std::int64_t{*owner});

    std::string name = wmClassName(wmClass.get());
    if (name.empty() && owner) name = procComm(*owner);
    if (!name.empty()) d.set(WindowKey::OwnerName, sanitizeUtf8(name));

    bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    auto desk = propertyValues32(desktop.get(), XCB_ATOM_CARDINAL);
    bool onThisDesktop = desk.empty() || !currentDesktop || desk[0] == kAllDesktops || desk[0] == *currentDesktop ||
                         has(a.stateSticky);
    out.onScreen = viewable && !has(a.stateHidden) && onThisDesktop;
    d.set(WindowKey::IsOnscreen, out.onScreen);
    return out;
  }

  std::int64_t layerOf(const std::vector<std::uint32_t>& types) const {
    for (xcb_atom_t t : types) {
      if (t == a.typeDesktop) return kLayerDesktop;
      if (t == a.typeDock) return kLayerDock;
      if (t == a.typeUtility || t == a.typeToolbar || t == a.typeMenu || t == a.typeSplash ||
          t == a.typeNotification || t == a.typeDropdownMenu || t == a.typePopupMenu || t == a.typeTooltip ||
          t == a.typeCombo) {
        return kLayerPanel;
      }
    }
    return kLayerNormal;
  }
};

namespace {

// Without a window manager there is no client list: the mapped top-level
// windows, bottom to top, stand in for it.
std::vector<xcb_window_t> rootChildren(x11::Connection& c, bool mappedOnly) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), c.root()), nullptr));
  std::vector<xcb_window_t> result;
  if (!tree) return result;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int n = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  for (int i = 0; i < n; ++i) cookies.push_back(xcb_get_window_attributes(c.get(), children[i]));
  for (int i = 0; i < n; ++i) {
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c.get(), cookies[i], nullptr));
    if (!a || a->override_redirect || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) continue;
    if (mappedOnly && a->map_state != XCB_MAP_STATE_VIEWABLE) continue;
    result.push_back(children[i]);
  }
  return result;
}

// A client list of the root and the current desktop, asked together.
std::pair<std::optional<std::vector<std::uint32_t>>, std::optional<std::uint32_t>> rootLists(
    x11::Connection& c, xcb_atom_t list, xcb_atom_t currentDesktop) {
  auto listCookie = xcb_get_property(c.get(), 0, c.root(), list, XCB_ATOM_WINDOW, 0, kMaxClients);
  auto desktopCookie = xcb_get_property(c.get(), 0, c.root(), currentDesktop, XCB_ATOM_CARDINAL, 0, 1);
  Reply<xcb_get_property_reply_t> listReply(xcb_get_property_reply(c.get(), listCookie, nullptr));
  Reply<xcb_get_property_reply_t> desktopReply(xcb_get_property_reply(c.get(), desktopCookie, nullptr));
  std::optional<std::vector<std::uint32_t>> windows;
  if (listReply && listReply->type == XCB_ATOM_WINDOW && listReply->format == 32) {
    windows = propertyValues32(listReply.get(), XCB_ATOM_WINDOW);
  }
  std::optional<std::uint32_t> desktop;
  if (auto d = propertyValues32(desktopReply.get(), XCB_ATOM_CARDINAL); !d.empty()) desktop = d[0];
  return {windows, desktop};
}

}  // namespace

std::optional<WindowList> X11Platform::onScreenWindows() {
  x11::Connection* c = connection();
  if (!c) return std::nullopt;
  const Atoms& a = atoms();
  auto [stacking, desktop] = rootLists(*c, a.clientListStacking, a.currentDesktop);
  std::vector<xcb_window_t> windows;
  if (stacking) {
    windows.assign(stacking->begin(), stacking->end());
  } else {
    windows = rootChildren(*c, true);
  }
  std::reverse(windows.begin(), windows.end());  // X stacks bottom to top; the list is front to back

  Describer describer{*c, a, desktop};
  WindowList list;
  for (auto& d : describer.describe(windows)) {
    if (d && d->onScreen && !d->desktopElement) list.push_back(std::move(d->description));
  }
  if (c->broken()) return std::nullopt;
  return list;
}

std::optional<WindowList> X11Platform::allClients() {
  x11::Connection* c = connection();
  if (!c) return std::nullopt;
  const Atoms& a = atoms();
  auto [stacking, desktop] = rootLists(*c, a.clientListStacking, a.currentDesktop);
  std::vector<xcb_window_t> windows =
      stacking ? std::vector<xcb_window_t>(stacking->begin(), stacking->end()) : rootChildren(*c, false);
  std::reverse(windows.begin(), windows.end());
  Describer describer{*c, a, desktop};
  WindowList list;
  for (auto& d : describer.describe(windows)) {
    if (d) list.push_back(std::move(d->description));
  }
  if (c->broken()) return std::nullopt;
  return list;
}

std::optional<WindowList> X11Platform::windowById(std::uint32_t number) {
  x11::Connection* c = connection();
  if (!c) return std::nullopt;
  const Atoms& a = atoms();
  // Only top-level client windows have numbers; frames, children and ids of
  // nothing name no window.
  auto [clients, desktop] = rootLists(*c, a.clientList, a.currentDesktop);
  std::vector<xcb_window_t> known = clients ? std::vector<xcb_window_t>(clients->begin(), clients->end())
                                            : rootChildren(*c, false);
  if (std::find(known.begin(), known.end(), number) == known.end()) return WindowList{};

  Describer describer{*c, a, desktop};
  auto described = describer.describe({number});
  if (c->broken()) return std::nullopt;
  if (!described[0]) return WindowList{};
  return WindowList{std::move(described[0]->description)};
}

}  // namespace quorvane::input
