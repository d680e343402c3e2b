#include "common/x11/windows.h"

#include <algorithm>
#include <functional>
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

// X-Resource's pid of every client, by the high bits of its ids; asked
// before it is needed, so that the answer comes with another round trip.
std::optional<xcb_res_query_client_ids_cookie_t> askClientPids(const Connection& c) {
  if (!c.hasExtension(&xcb_res_id)) return std::nullopt;
  xcb_res_client_id_spec_t every{XCB_NONE, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  return xcb_res_query_client_ids(c.get(), 1, &every);
}

std::map<std::uint32_t, std::int32_t> takeClientPids(const Connection& c,
                                                     std::optional<xcb_res_query_client_ids_cookie_t> asked) {
  std::map<std::uint32_t, std::int32_t> pids;
  if (!asked) return pids;
  Reply<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(c.get(), *asked, nullptr));
  if (!r) return pids;
  const std::uint32_t bits = clientBits(c);
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

TopLevel topLevelOf(xcb_window_t window, const xcb_get_window_attributes_reply_t& a, const xcb_get_geometry_reply_t& g) {
  return TopLevel{window, g.x, g.y, g.width, g.height, g.border_width, a.map_state == XCB_MAP_STATE_VIEWABLE,
                  a._class == XCB_WINDOW_CLASS_INPUT_ONLY, a.override_redirect != 0, a.visual};
}

// The attributes and geometry of each window, asked at once; `alsoAsk` asks
// more in the same round trip before the answers are read. Windows gone in
// between are left out (normal, not an error); `kept` gets the index of each
// one described.
std::vector<TopLevel> describe(const Connection& c, const std::vector<xcb_window_t>& windows,
                               const std::function<void()>& alsoAsk, std::vector<std::size_t>* kept) {
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  attributes.reserve(windows.size());
  geometries.reserve(windows.size());
  for (auto w : windows) {
    attributes.push_back(xcb_get_window_attributes(c.get(), w));
    geometries.push_back(xcb_get_geometry(c.get(), w));
  }
  if (alsoAsk) alsoAsk();
  std::vector<TopLevel> result;
  result.reserve(windows.size());
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c.get(), attributes[i], nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c.get(), geometries[i], nullptr));
    if (!a || !g) continue;
    result.push_back(topLevelOf(windows[i], *a, *g));
    if (kept) kept->push_back(i);
  }
  return result;
}

}  // namespace

std::vector<xcb_window_t> children(const Connection& c, xcb_window_t window) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), window), nullptr));
  if (!tree) return {};
  const xcb_window_t* list = xcb_query_tree_children(tree.get());
  auto n = std::min(itemsWithin(tree.get(), list, tree->children_len, sizeof *list), kMaxWindows);
  return std::vector<xcb_window_t>(list, list + n);
}

std::vector<TopLevel> topLevels(const Connection& c) { return describe(c, children(c, c.root()), {}, nullptr); }

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

namespace {

// windowsInside, given the frames' own children (`level`, as childrenOfEach
// finds them): the levels below are asked about from there.
std::vector<Inside> windowsInsideFrom(const Connection& c, const std::vector<xcb_window_t>& frames,
                                      std::vector<std::vector<xcb_window_t>> level, std::vector<bool> cut) {
  std::vector<Inside> inside(frames.size());
  std::size_t total = frames.size();
  for (std::size_t i = 0; i < frames.size(); ++i) inside[i].windows = {frames[i]};
  for (int depth = 1; depth < kClientSearchDepth; ++depth) {
    if (depth > 1) {
      cut.assign(frames.size(), false);
      level = childrenOfEach(c, level, cut);
    }
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

// ownerPids, given X-Resource's pids of the clients.
std::vector<std::optional<std::int32_t>> ownerPidsBy(const Connection& c, const std::vector<xcb_window_t>& windows,
                                                     const std::map<std::uint32_t, std::int32_t>& byClient) {
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

}  // namespace

std::vector<Inside> windowsInside(const Connection& c, const std::vector<xcb_window_t>& frames) {
  std::vector<std::vector<xcb_window_t>> level;
  for (auto frame : frames) level.push_back({frame});
  std::vector<bool> cut(frames.size());
  auto children = childrenOfEach(c, level, cut);
  return windowsInsideFrom(c, frames, std::move(children), std::move(cut));
}

std::vector<std::optional<std::int32_t>> ownerPids(const Connection& c, const std::vector<xcb_window_t>& windows) {
  return ownerPidsBy(c, windows, takeClientPids(c, askClientPids(c)));
}

std::vector<OwnedTopLevel> ownedTopLevels(const Connection& c) {
  const auto pidsAsked = askClientPids(c);
  const auto windows = children(c, c.root());
  std::vector<std::vector<xcb_window_t>> firstInside(windows.size());
  std::vector<bool> cut(windows.size());
  std::vector<std::size_t> described;
  auto tops = describe(c, windows, [&] {
    for (std::size_t i = 0; i < windows.size(); ++i) firstInside[i] = {windows[i]};
    firstInside = childrenOfEach(c, firstInside, cut);
  }, &described);
  std::vector<OwnedTopLevel> owned;
  std::vector<xcb_window_t> frames;
  std::vector<std::vector<xcb_window_t>> kept;
  std::vector<bool> keptCut;
  for (std::size_t k = 0; k < tops.size(); ++k) {
    const std::size_t i = described[k];
    owned.push_back({tops[k], {}, {}});
    frames.push_back(windows[i]);
    kept.push_back(std::move(firstInside[i]));
    keptCut.push_back(cut[i]);
  }
  auto inside = windowsInsideFrom(c, frames, std::move(kept), std::move(keptCut));
  std::vector<xcb_window_t> all;
  for (const auto& in : inside) all.insert(all.end(), in.windows.begin(), in.windows.end());
  auto pids = ownerPidsBy(c, all, takeClientPids(c, pidsAsked));
  std::size_t at = 0;
  for (std::size_t i = 0; i < owned.size(); ++i) {
    owned[i].pids.assign(pids.begin() + std::ptrdiff_t(at), pids.begin() + std::ptrdiff_t(at + inside[i].windows.size()));
    at += inside[i].windows.size();
    owned[i].inside = std::move(inside[i]);
  }
  return owned;
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
