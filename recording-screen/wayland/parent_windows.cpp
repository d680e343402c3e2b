#include "recording-screen/wayland/parent_windows.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include <nlohmann/json.hpp>

namespace quorvane::recording::wayland {

namespace {

using nlohmann::json;

// Containers nest a few levels; a tree deeper than this is not sway's.
constexpr int kMaxDepth = 64;

template <typename Visit>
bool walk(const json& node, int depth, const Visit& visit, const json* parent = nullptr) {
  if (!node.is_object() || depth > kMaxDepth) return false;
  if (!visit(node, parent)) return false;
  for (const char* children : {"nodes", "floating_nodes"}) {
    auto it = node.find(children);
    if (it == node.end()) continue;
    if (!it->is_array()) return false;
    for (const auto& child : *it) {
      if (!walk(child, depth + 1, visit, &node)) return false;
    }
  }
  return true;
}

std::optional<std::int32_t> pidOf(const json& node) {
  auto it = node.find("pid");
  if (it == node.end() || !it->is_number_integer()) return std::nullopt;
  auto pid = it->get<std::int64_t>();
  if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(pid);
}

}  // namespace

std::vector<std::int32_t> treePids(std::string_view tree) {
  std::vector<std::int32_t> pids;
  auto root = json::parse(tree, nullptr, false);
  bool read = walk(root, 0, [&](const json& node, const json*) {
    auto pid = pidOf(node);
    if (pid && std::find(pids.begin(), pids.end(), *pid) == pids.end()) pids.push_back(*pid);
    return true;
  });
  return read ? pids : std::vector<std::int32_t>{};
}

namespace {

struct Box {
  double left, top, right, bottom;
};

// What is left of each box once `over` is taken out: up to four boxes each.
std::vector<Box> without(const std::vector<Box>& boxes, const Box& over) {
  std::vector<Box> left;
  for (const auto& b : boxes) {
    if (over.right <= b.left || b.right <= over.left || over.bottom <= b.top || b.bottom <= over.top) {
      left.push_back(b);
      continue;
    }
    if (b.top < over.top) left.push_back({b.left, b.top, b.right, over.top});
    if (over.bottom < b.bottom) left.push_back({b.left, over.bottom, b.right, b.bottom});
    const double top = std::max(b.top, over.top), bottom = std::min(b.bottom, over.bottom);
    if (b.left < over.left) left.push_back({b.left, top, over.left, bottom});
    if (over.right < b.right) left.push_back({over.right, top, b.right, bottom});
  }
  return left;
}

// A node's rectangle member as a box; nullopt when it is not one.
std::optional<Box> boxOf(const json& node, const char* member) {
  auto rect = node.find(member);
  if (rect == node.end() || !rect->is_object()) return std::nullopt;
  double r[4];
  const char* keys[4] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    auto v = rect->find(keys[i]);
    if (v == rect->end() || !v->is_number()) return std::nullopt;
    r[i] = v->get<double>();
  }
  return Box{r[0], r[1], r[0] + r[2], r[1] + r[3]};
}

}  // namespace

std::vector<PixelRect> coveredBy(std::string_view tree, const std::vector<std::int32_t>& pids,
                                 const OutputPlace& output) {
  const std::vector<PixelRect> whole = {{0, 0, output.pixelWidth, output.pixelHeight}};
  if (output.logicalWidth <= 0 || output.logicalHeight <= 0) return whole;
  // Every shown window, bottom to top: sway lists tiled windows before floating
  // ones, and floating ones in their stacking order.
  std::vector<std::pair<bool, Box>> shown;  // theirs, where
  auto root = json::parse(tree, nullptr, false);
  bool read = walk(root, 0, [&](const json& node, const json* parent) {
    auto pid = pidOf(node);
    if (!pid) return true;
    const bool theirs = std::find(pids.begin(), pids.end(), *pid) != pids.end();
    // Windows on workspaces not shown (or in the scratchpad) are not in the frame.
    auto visible = node.find("visible");
    if (visible != node.end() && visible->is_boolean() && !visible->get<bool>()) return true;
    auto rect = boxOf(node, "rect");
    if (!rect) return !theirs;
    // The title bar lies outside `rect`, placed within the parent's rect.
    auto deco = boxOf(node, "deco_rect");
    if (deco && deco->right > deco->left && deco->bottom > deco->top) {
      auto origin = parent ? boxOf(*parent, "rect") : std::nullopt;
      if (!origin) return !theirs;
      shown.push_back({theirs, Box{origin->left + deco->left, origin->top + deco->top, origin->left + deco->right,
                                   origin->top + deco->bottom}});
    } else if (!deco && node.contains("deco_rect")) {
      return !theirs;
    }
    shown.push_back({theirs, *rect});
    return true;
  });
  if (!read) return whole;
  // Only what shows of their windows is painted over: another window above one of theirs stays.
  std::vector<Box> theirs;
  for (const auto& [mine, box] : shown) {
    if (mine) theirs.push_back(box);
    else theirs = without(theirs, box);
  }
  const double sx = static_cast<double>(output.pixelWidth) / output.logicalWidth;
  const double sy = static_cast<double>(output.pixelHeight) / output.logicalHeight;
  std::vector<PixelRect> covered;
  for (const auto& b : theirs) {
    // Logical to frame pixels, rounded outwards so no edge of the window shows.
    const double left = std::clamp(std::floor((b.left - output.x) * sx), 0.0, double(output.pixelWidth));
    const double right = std::clamp(std::ceil((b.right - output.x) * sx), 0.0, double(output.pixelWidth));
    const double top = std::clamp(std::floor((b.top - output.y) * sy), 0.0, double(output.pixelHeight));
    const double bottom = std::clamp(std::ceil((b.bottom - output.y) * sy), 0.0, double(output.pixelHeight));
    if (right <= left || bottom <= top) continue;
    if (output.transformed) return whole;
    covered.push_back({static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                       static_cast<std::uint32_t>(right - left), static_cast<std::uint32_t>(bottom - top)});
  }
  return covered;
}

}  // namespace quorvane::recording::wayland
