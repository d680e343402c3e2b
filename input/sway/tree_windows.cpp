#include "input/sway/tree_windows.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "common/text.h"

namespace quorvane::input::sway {

namespace {

using quorvane::wayland::SwayNode;
using quorvane::wayland::SwayNodeType;
using quorvane::wayland::SwayRect;

struct Walk {
  const SwayTree& tree;
  std::vector<std::vector<std::size_t>> children;  // per node, in tree order
  std::vector<std::size_t> views;

  explicit Walk(const SwayTree& t) : tree(t), children(t.nodes.size()) {
    for (std::size_t i = 1; i < t.nodes.size(); ++i) {
      // The reader gives every node but the first a parent listed before it.
      children[static_cast<std::size_t>(t.nodes[i].parent)].push_back(i);
    }
  }

  // The children most recently focused first; those the focus list leaves out after them, in tree order.
  // Linear in the lists' lengths: a hostile tree may give thousands of both.
  std::vector<std::size_t> byFocus(const std::vector<std::size_t>& among, const SwayNode& parent) const {
    std::unordered_map<std::int64_t, std::size_t> byId;  // the first child with each id
    for (std::size_t i = 0; i < among.size(); ++i) byId.emplace(tree.nodes[among[i]].id, i);
    std::vector<bool> taken(among.size(), false);
    std::vector<std::size_t> ordered;
    for (std::int64_t id : parent.focus) {
      auto found = byId.find(id);
      if (found == byId.end() || taken[found->second]) continue;
      taken[found->second] = true;
      ordered.push_back(among[found->second]);
    }
    for (std::size_t i = 0; i < among.size(); ++i) {
      if (!taken[i]) ordered.push_back(among[i]);
    }
    return ordered;
  }

  void visit(std::size_t index) {
    const SwayNode& node = tree.nodes[index];
    if (node.window) views.push_back(index);
    std::vector<std::size_t> tiled, floating;
    for (std::size_t c : children[index]) (tree.nodes[c].floating ? floating : tiled).push_back(c);
    // Floating nodes are listed bottom to top and drawn above the tiled ones.
    std::reverse(floating.begin(), floating.end());
    if (node.type != SwayNodeType::workspace) floating = byFocus(floating, node);
    for (std::size_t c : floating) visit(c);
    for (std::size_t c : byFocus(tiled, node)) visit(c);
  }
};

// The view's rectangle and its title bar, which sway places within the parent's rectangle.
std::optional<Rect> frameOf(const SwayTree& tree, const SwayNode& node) {
  if (!node.rect) return std::nullopt;
  const SwayRect& r = *node.rect;
  double left = r.x, top = r.y, right = double(r.x) + r.width, bottom = double(r.y) + r.height;
  const auto& deco = node.decoRect;
  if (deco && deco->width > 0 && deco->height > 0) {
    const auto& parent = tree.nodes[static_cast<std::size_t>(node.parent)];
    if (!parent.rect) return std::nullopt;
    const double x = double(parent.rect->x) + deco->x, y = double(parent.rect->y) + deco->y;
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x + deco->width);
    bottom = std::max(bottom, y + deco->height);
  }
  return Rect{left, top, right - left, bottom - top};
}

WindowDescription describe(const SwayTree& tree, const SwayNode& node) {
  WindowDescription d;
  d.set(WindowKey::Layer, std::int64_t{0});
  d.set(WindowKey::IsOnscreen, node.visible == true);
  if (node.id >= 0 && node.id <= std::numeric_limits<std::uint32_t>::max()) d.set(WindowKey::Number, node.id);
  if (node.pid) d.set(WindowKey::OwnerPid, std::int64_t{*node.pid});
  if (!node.appId.empty()) d.set(WindowKey::OwnerName, sanitizeUtf8(node.appId));
  if (auto frame = frameOf(tree, node)) d.set(WindowKey::Bounds, boundsDict(*frame));
  return d;
}

}  // namespace

std::vector<std::size_t> viewsFrontToBack(const SwayTree& tree) {
  Walk walk(tree);
  if (!tree.nodes.empty()) walk.visit(0);
  return walk.views;
}

WindowList treeWindows(const SwayTree& tree, bool onScreenOnly) {
  WindowList list;
  for (std::size_t i : viewsFrontToBack(tree)) {
    const SwayNode& node = tree.nodes[i];
    if (onScreenOnly && (node.visible != true || tree.inScratchpad(i))) continue;
    list.push_back(describe(tree, node));
  }
  return list;
}

std::optional<std::int32_t> focusedPid(const SwayTree& tree) {
  for (const auto& node : tree.nodes) {
    if (node.focused) return node.window ? node.pid : std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> frontViewOf(const SwayTree& tree, std::int32_t pid) {
  for (std::size_t i : viewsFrontToBack(tree)) {
    const SwayNode& node = tree.nodes[i];
    if (node.pid == pid && node.id >= 0 && node.id <= std::numeric_limits<std::uint32_t>::max()) {
      return static_cast<std::uint32_t>(node.id);
    }
  }
  return std::nullopt;
}

bool commandsSucceeded(std::string_view reply) {
  auto json = nlohmann::json::parse(reply, nullptr, false);
  if (!json.is_array() || json.empty()) return false;
  return std::all_of(json.begin(), json.end(), [](const nlohmann::json& r) {
    return r.is_object() && r.contains("success") && r["success"] == true;
  });
}

}  // namespace quorvane::input::sway
