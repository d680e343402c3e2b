#include "common/x11/windows.h"

#include <algorithm>
#include <map>

#include <xcb/res.h>

namespace quorvane::x11 {

namespace {

// Window managers nest the client a level or two inside their frame; deeper
// means it is no frame.
constexpr int kClientSearchDepth = 4;
// Windows inside all frames together that are asked about, however many a
// client makes: beyond, the frames not reached count as not searched.
constexpr std::size_t kMaxInsideWindows = 16 * kMaxWindows;

std::uint32_t clientBits(const Connection& c) { return ~xcb_get_setup(c.get())->resource_id_mask; }

// X-Resource answers per client (the high bits of an id), not per window: one
// window of each client is asked about.
std::map<std::uint32_t, std::int32_t> pidsByClient(const Connection& c, const std::vector<xcb_window_t>& windows) {
  std::map<std::uint32_t, std::int32_t> pids;
  if (windows.empty() || !c.hasExtension(&xcb_res_id)) return pids;
  const std::uint32_t bits = clientBits(c);
  std::map<std::uint32_t, xcb_window_t> clients;
  for (auto w : windows) clients.emplace(w & bits, w);
  std::vector<xcb_res_client_id_spec_t> specs;
  for (auto [client, w] : clients) specs.push_back({w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
  Reply<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(
      c.get(), xcb_res_query_client_ids(c.get(), static_cast<std::uint32_t>(specs.size()), specs.data()), nullptr));
  if (!r) return pids;
  for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
    const xcb_res_client_id_value_t* id = it.data;
    if (!holds(r.get(), id, sizeof *id) || !holds(r.get(), id, xcb_res_client_id_value_sizeof(id))) break;
    if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || it.data->length != 4) continue;
    auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(it.data));
    if (pid > 0) pids[it.data->spec.client & bits] = pid;
  }
  return pids;
}

// The children of the windows of each list, topmost first, at most
// kMaxWindows a list; `cut[i]` is set where list i had more. One round trip.
std::vector<std::vector<xcb_window_t>> childrenOfEach(const Connection& c,
                                                      const std::vector<std::vector<xcb_window_t>>& lists,
                                                      std::vector<bool>& cut) {
  std::vector<std::vector<xcb_query_tree_cookie_t>> trees(lists.size());
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (auto w : lists[i]) trees[i].push_back(xcb_query_tree(c.get(), w));
  }
  std::vector<std::vector<xcb_window_t>> next(lists.size());
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (auto cookie : trees[i]) {
      Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), cookie, nullptr));
      if (!tree) continue;
      const xcb_window_t* list = xcb_query_tree_children(tree.get());
      const auto length = itemsWithin(tree.get(), list, tree->children_len, sizeof *list);
      const auto n = std::min(length, kMaxWindows - next[i].size());
      if (n < length) cut[i] = true;
      // Topmost child first, as the pointer would find it.
      for (std::size_t k = n; k > 0; --k) next[i].push_back(list[k - 1]);
    }
  }
  return next;
}

}  // namespace

std::vector<xcb_window_t> children(const Connection& c, xcb_window_t window) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), window), nullptr));
  if (!tree) return {};
  const xcb_window_t* list = xcb_query_tree_children(tree.get());
  auto n = std::min(itemsWithin(tree.get(), list, tree->children_len, sizeof *list), kMaxWindows);
  return std::vector<xcb_window_t>(list, list + n);
}

std::vector<TopLevel> topLevels(const Connection& c) {
  auto windows = children(c, c.root());
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  attributes.reserve(windows.size());
  geometries.reserve(windows.size());
  for (auto w : windows) {
    attributes.push_back(xcb_get_window_attributes(c.get(), w));
    geometries.push_back(xcb_get_geometry(c.get(), w));
  }
  std::vector<TopLevel> result;
  result.reserve(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c.get(), attributes[i], nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c.get(), geometries[i], nullptr));
    if (!a || !g) continue;  // gone in between: normal, not an error
    result.push_back(TopLevel{windows[i], g->x, g->y, g->width, g->height, g->border_width,
                              a->map_state == XCB_MAP_STATE_VIEWABLE, a->_class == XCB_WINDOW_CLASS_INPUT_ONLY,
                              a->override_redirect != 0, a->visual});
  }
  return result;
}

std::vector<xcb_window_t> clientWindows(const Connection& c, const std::vector<xcb_window_t>& frames) {
  const xcb_atom_t wmState = c.atom("WM_STATE");
  std::vector<xcb_window_t> clients(frames.size(), XCB_NONE);
  // Per frame, the windows of the level being searched; empty once decided.
  std::vector<std::vector<xcb_window_t>> level(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) level[i] = {frames[i]};
  for (int depth = 0; depth < kClientSearchDepth && wmState != XCB_NONE; ++depth) {
    std::vector<std::vector<xcb_get_property_cookie_t>> states(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      for (auto w : level[i]) states[i].push_back(xcb_get_property(c.get(), 0, w, wmState, XCB_ATOM_ANY, 0, 0));
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
      for (std::size_t k = 0; k < states[i].size(); ++k) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c.get(), states[i][k], nullptr));
        if (clients[i] == XCB_NONE && r && r->type != XCB_NONE) clients[i] = level[i][k];
      }
      if (clients[i] != XCB_NONE) level[i].clear();
    }
    if (depth + 1 == kClientSearchDepth) break;
    std::vector<bool> cut(frames.size());
    level = childrenOfEach(c, level, cut);
    if (std::all_of(level.begin(), level.end(), [](const auto& l) { return l.empty(); })) break;
  }
  return clients;
}

std::vector<Inside> windowsInside(const Connection& c, const std::vector<xcb_window_t>& frames) {
  std::vector<Inside> inside(frames.size());
  std::vector<std::vector<xcb_window_t>> level(frames.size());
  std::size_t total = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    inside[i].windows = level[i] = {frames[i]};
    ++total;
  }
  for (int depth = 1; depth < kClientSearchDepth; ++depth) {
    std::vector<bool> cut(frames.size());
    level = childrenOfEach(c, level, cut);
    bool deeper = false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      if (cut[i] || total + level[i].size() > kMaxInsideWindows) {
        inside[i].complete = false;
        level[i].clear();
      }
      total += level[i].size();
      inside[i].windows.insert(inside[i].windows.end(), level[i].begin(), level[i].end());
      deeper = deeper || !level[i].empty();
    }
    if (!deeper) break;
  }
  return inside;
}

std::vector<std::optional<std::int32_t>> ownerPids(const Connection& c, const std::vector<xcb_window_t>& windows) {
  auto byClient = pidsByClient(c, windows);
  const std::uint32_t bits = clientBits(c);
  std::vector<std::optional<std::int32_t>> pids(windows.size());
  std::vector<std::size_t> unknown;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    auto it = byClient.find(windows[i] & bits);
    if (it != byClient.end()) pids[i] = it->second;
    else unknown.push_back(i);
  }
  // A remote client or a server without X-Resource: the pid the client claims.
  const xcb_atom_t netWmPid = unknown.empty() ? XCB_NONE : c.atom("_NET_WM_PID");
  if (netWmPid == XCB_NONE) return pids;
  std::vector<xcb_get_property_cookie_t> cookies;
  cookies.reserve(unknown.size());
  for (auto i : unknown) cookies.push_back(xcb_get_property(c.get(), 0, windows[i], netWmPid, XCB_ATOM_CARDINAL, 0, 1));
  for (std::size_t k = 0; k < unknown.size(); ++k) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c.get(), cookies[k], nullptr));
    auto values = values32(r.get(), XCB_ATOM_CARDINAL);
    if (values.size() != 1) continue;
    const std::uint32_t value = values[0];
    if (value > 0 && value <= 0x7FFFFFFF) pids[unknown[k]] = static_cast<std::int32_t>(value);
  }
  return pids;
}

std::optional<std::int32_t> ownerPid(const Connection& c, xcb_window_t window) { return ownerPids(c, {window})[0]; }

std::optional<Point> pointer(const Connection& c) {
  Reply<xcb_query_pointer_reply_t> p(xcb_query_pointer_reply(c.get(), xcb_query_pointer(c.get(), c.root()), nullptr));
  if (!p || !p->same_screen) return std::nullopt;
  return Point{static_cast<double>(p->root_x), static_cast<double>(p->root_y)};
}

std::optional<xcb_pixmap_t> rootPixmap(const Connection& c) {
  auto pixmap = cardinal(c, c.root(), c.atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP);
  if (!pixmap || *pixmap == XCB_NONE) return std::nullopt;
  return *pixmap;
}

void sync(const Connection& c) { std::free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr)); }

}  // namespace quorvane::x11
