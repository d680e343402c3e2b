#include "recording-screen/wayland/parent_windows.h"

#include <algorithm>
#include <cmath>

namespace quorvane::recording::wayland {

namespace {

using quorvane::wayland::SwayNode;
using quorvane::wayland::SwayRect;
using quorvane::wayland::SwayTree;

bool contains(const std::vector<std::int32_t>& pids, std::int32_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

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

Box boxOf(const SwayRect& r) { return {double(r.x), double(r.y), double(r.x) + r.width, double(r.y) + r.height}; }

// A window's rectangle and, where it has one, its title bar (placed within its
// parent's rectangle); nullopt when they cannot be read.
std::optional<std::vector<Box>> boxesOf(const SwayTree& tree, const SwayNode& node) {
  if (node.malformed || !node.rect) return std::nullopt;
  std::vector<Box> boxes{boxOf(*node.rect)};
  const auto& deco = node.decoRect;
  if (deco && deco->width > 0 && deco->height > 0) {
    const auto* parent = node.parent >= 0 ? &tree.nodes[static_cast<std::size_t>(node.parent)] : nullptr;
    if (!parent || !parent->rect) return std::nullopt;
    boxes.push_back(boxOf({parent->rect->x + deco->x, parent->rect->y + deco->y, deco->width, deco->height}));
  }
  return boxes;
}

}  // namespace

std::vector<std::int32_t> treePids(const std::optional<SwayTree>& tree) {
  std::vector<std::int32_t> pids;
  if (!tree) return pids;
  for (const auto& node : tree->nodes) {
    if (node.pid && !contains(pids, *node.pid)) pids.push_back(*node.pid);
  }
  return pids;
}

void paintOver(std::uint8_t* pixels, std::size_t stride, std::uint32_t width, std::uint32_t height,
               const std::vector<PixelRect>& rects) {
  for (const auto& r : rects) {
    for (std::uint32_t y = r.y; y < r.y + r.height && y < height; ++y) {
      auto* px = reinterpret_cast<std::uint32_t*>(pixels + std::size_t{y} * stride);
      std::fill(px + std::min(r.x, width), px + std::min(r.x + r.width, width), 0xFF000000u | kCoverXrgb);
    }
  }
}

std::optional<std::vector<ListedWindow>> swayWindows(const std::optional<SwayTree>& tree) {
  if (!tree) return std::nullopt;
  std::vector<ListedWindow> windows;
  for (const auto& node : tree->nodes) {
    // Windows on workspaces not shown (or in the scratchpad) are not in the frame.
    if (!node.window || node.visible == false) continue;
    windows.push_back({node.id, node.pid, boxesOf(*tree, node)});
  }
  return windows;
}

Covered coveredBy(const std::optional<std::vector<ListedWindow>>& windows, const std::vector<std::int32_t>& pids,
                  const OutputPlace& output, const std::vector<Place>& before) {
  const Covered whole{{{0, 0, output.pixelWidth, output.pixelHeight}}, before};
  if (!windows || output.logicalWidth <= 0 || output.logicalHeight <= 0) return whole;
  // Every shown window, bottom to top; a window of theirs also where it lay
  // before, at its own level; one gone since, on top of all.
  std::vector<std::pair<bool, Box>> shown;  // theirs, where
  std::vector<Place> places;
  std::vector<bool> placed(before.size(), false);
  for (const auto& window : *windows) {
    const bool theirs = !window.pid || contains(pids, *window.pid);
    if (!window.boxes && theirs) return whole;
    if (!window.boxes) continue;
    for (const auto& b : *window.boxes) {
      shown.push_back({theirs, b});
      if (theirs) places.push_back({window.id, b.left, b.top, b.right, b.bottom});
    }
    for (std::size_t i = 0; theirs && i < before.size(); ++i) {
      if (before[i].window != window.id) continue;
      placed[i] = true;
      shown.push_back({true, Box{before[i].left, before[i].top, before[i].right, before[i].bottom}});
    }
  }
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!placed[i]) shown.push_back({true, Box{before[i].left, before[i].top, before[i].right, before[i].bottom}});
  }
  // Only what shows of their windows is painted over: another window above one of theirs stays.
  std::vector<Box> theirs;
  for (const auto& [mine, box] : shown) {
    if (mine) theirs.push_back(box);
    else theirs = without(theirs, box);
  }
  const double sx = static_cast<double>(output.pixelWidth) / output.logicalWidth;
  const double sy = static_cast<double>(output.pixelHeight) / output.logicalHeight;
  Covered covered{{}, std::move(places)};
  for (const auto& b : theirs) {
    // Logical to frame pixels, rounded outwards so no edge of the window shows.
    const double left = std::clamp(std::floor((b.left - output.x) * sx), 0.0, double(output.pixelWidth));
    const double right = std::clamp(std::ceil((b.right - output.x) * sx), 0.0, double(output.pixelWidth));
    const double top = std::clamp(std::floor((b.top - output.y) * sy), 0.0, double(output.pixelHeight));
    const double bottom = std::clamp(std::ceil((b.bottom - output.y) * sy), 0.0, double(output.pixelHeight));
    if (right <= left || bottom <= top) continue;
    if (output.transformed) return {whole.pixels, covered.places};
    covered.pixels.push_back({static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                              static_cast<std::uint32_t>(right - left), static_cast<std::uint32_t>(bottom - top)});
  }
  return covered;
}

}  // namespace quorvane::recording::wayland
