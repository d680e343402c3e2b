#include "recording-screen/x11/owners.h"

#include <algorithm>
#include <map>

#include <xcb/res.h>

namespace quorvane::recording::x11 {

namespace {

using quorvane::x11::Reply;

// Window managers nest the client a level or two inside their frame.
constexpr int kClientSearchDepth = 3;
// More top-level windows than any desktop has; a bound on what a hostile client can make us ask.
constexpr std::size_t kMaxWindows = 4096;

std::vector<xcb_window_t> children(const Connection& c, xcb_window_t window) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), window), nullptr));
  if (!tree) return {};
  auto* list = xcb_query_tree_children(tree.get());
  auto n = std::min<std::size_t>(static_cast<std::size_t>(xcb_query_tree_children_length(tree.get())), kMaxWindows);
  return std::vector<xcb_window_t>(list, list + n);
}

// For each frame, the first window at or under it that carries WM_STATE, one
// batched level at a time; the frame itself when none does.
std::vector<xcb_window_t> clientWindows(const Connection& c, const std::vector<xcb_window_t>& frames) {
  xcb_atom_t wmState = c.atom("WM_STATE");
  std::vector<xcb_window_t> clients(frames);
  std::vector<std::vector<xcb_window_t>> candidates;
  for (auto f : frames) candidates.push_back({f});
  std::vector<bool> found(frames.size(), false);
  for (int depth = 0; depth < kClientSearchDepth && wmState != XCB_NONE; ++depth) {
    std::vector<std::vector<xcb_get_property_cookie_t>> cookies(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      if (found[i]) continue;
      for (auto w : candidates[i]) cookies[i].push_back(xcb_get_property(c.get(), 0, w, wmState, XCB_ATOM_ANY, 0, 0));
    }
    // Not found at this level: ask for every candidate's children at once.
    std::vector<std::vector<xcb_query_tree_cookie_t>> trees(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      for (std::size_t k = 0; k < cookies[i].size(); ++k) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c.get(), cookies[i][k], nullptr));
        if (!found[i] && r && r->type != XCB_NONE) {
          clients[i] = candidates[i][k];
          found[i] = true;
        }
      }
      if (found[i]) continue;
      for (auto w : candidates[i]) trees[i].push_back(xcb_query_tree(c.get(), w));
    }
    bool deeper = false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      std::vector<xcb_window_t> next;
      for (auto cookie : trees[i]) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.get(), cookie, nullptr));
        if (!tree || next.size() >= kMaxWindows) continue;
        auto* list = xcb_query_tree_children(tree.get());
        next.insert(next.end(), list, list + xcb_query_tree_children_length(tree.get()));
      }
      if (found[i]) continue;
      candidates[i] = std::move(next);
      deeper = deeper || !candidates[i].empty();
    }
    if (!deeper) break;
  }
  return clients;
}

// X-Resource answers per client (the high bits of an id), not per window.
std::map<std::uint32_t, std::int32_t> pidsByClient(const Connection& c, const std::vector<xcb_window_t>& windows) {
  std::map<std::uint32_t, std::int32_t> pids;
  if (windows.empty() || !c.hasExtension(&xcb_res_id)) return pids;
  std::vector<xcb_res_client_id_spec_t> specs;
  for (auto w : windows) specs.push_back({w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
  Reply<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(
      c.get(), xcb_res_query_client_ids(c.get(), static_cast<std::uint32_t>(specs.size()), specs.data()), nullptr));
  if (!r) return pids;
  std::uint32_t clientBits = ~xcb_get_setup(c.get())->resource_id_mask;
  for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
    if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || it.data->length != 4) continue;
    pids[it.data->spec.client & clientBits] = static_cast<std::int32_t>(*xcb_res_client_id_value_value(it.data));
  }
  return pids;
}

std::vector<std::int32_t> ownerOf(const Connection& c, const std::vector<xcb_window_t>& clients) {
  auto byClient = pidsByClient(c, clients);
  std::uint32_t clientBits = ~xcb_get_setup(c.get())->resource_id_mask;
  std::vector<std::int32_t> pids(clients.size(), kUnknownPid);
  std::vector<std::size_t> unknown;
  for (std::size_t i = 0; i < clients.size(); ++i) {
    auto it = byClient.find(clients[i] & clientBits);
    if (it != byClient.end()) pids[i] = it->second;
    else unknown.push_back(i);
  }
  // A remote client or a server without X-Resource: the pid the client claims.
  xcb_atom_t netWmPid = unknown.empty() ? XCB_NONE : c.atom("_NET_WM_PID");
  if (netWmPid == XCB_NONE) return pids;
  std::vector<xcb_get_property_cookie_t> cookies;
  for (auto i : unknown) cookies.push_back(xcb_get_property(c.get(), 0, clients[i], netWmPid, XCB_ATOM_CARDINAL, 0, 1));
  for (std::size_t k = 0; k < unknown.size(); ++k) {
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c.get(), cookies[k], nullptr));
    if (r && r->type == XCB_ATOM_CARDINAL && r->format == 32 && xcb_get_property_value_length(r.get()) == 4) {
      pids[unknown[k]] = static_cast<std::int32_t>(*static_cast<std::uint32_t*>(xcb_get_property_value(r.get())));
    }
  }
  return pids;
}

}  // namespace

std::vector<TopLevel> topLevels(const Connection& c) {
  auto windows = children(c, c.root());
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  for (auto w : windows) {
    attributes.push_back(xcb_get_window_attributes(c.get(), w));
    geometries.push_back(xcb_get_geometry(c.get(), w));
  }
  std::vector<TopLevel> result;
  std::vector<xcb_window_t> present;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c.get(), attributes[i], nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c.get(), geometries[i], nullptr));
    if (!a || !g) continue;  // gone in between: normal, not an error
    TopLevel t;
    t.window = windows[i];
    t.x = g->x;
    t.y = g->y;
    t.width = g->width;
    t.height = g->height;
    t.border = g->border_width;
    t.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE;
    t.inputOnly = a->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    t.visual = a->visual;
    result.push_back(t);
    present.push_back(windows[i]);
  }
  auto pids = ownerOf(c, clientWindows(c, present));
  for (std::size_t i = 0; i < result.size(); ++i) result[i].pid = pids[i];
  return result;
}

std::vector<std::int32_t> ownerPids(const std::vector<TopLevel>& windows) {
  std::vector<std::int32_t> pids;
  for (const auto& w : windows) {
    if (w.pid != kUnknownPid && std::find(pids.begin(), pids.end(), w.pid) == pids.end()) pids.push_back(w.pid);
  }
  return pids;
}

}  // namespace quorvane::recording::x11
