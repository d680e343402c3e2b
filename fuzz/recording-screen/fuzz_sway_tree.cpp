// Arbitrary bytes as sway's window tree: the reader stays within its bounds,
// every parent it gives is an earlier node, and what the streamer makes of
// the tree (the owners, the parts of a frame to paint over) never leaves the
// frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/wayland/sway_tree.h"
#include "recording-screen/wayland/parent_windows.h"

namespace {

using namespace quorvane::recording::wayland;
using quorvane::wayland::kMaxSwayNodes;
using quorvane::wayland::kMaxSwayText;

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto tree = quorvane::wayland::readSwayTree(std::string_view(reinterpret_cast<const char*>(data), size));
  if (tree) {
    check(!tree->nodes.empty() && tree->nodes.size() <= kMaxSwayNodes);
    for (std::size_t i = 0; i < tree->nodes.size(); ++i) {
      const auto& node = tree->nodes[i];
      check(i == 0 ? node.parent == -1 : node.parent >= 0 && static_cast<std::size_t>(node.parent) < i);
      check(node.name.size() <= kMaxSwayText && node.appId.size() <= kMaxSwayText);
      tree->inScratchpad(i);
    }
  }
  const OutputPlace output{0, 0, 640, 360, 1280, 720, false};
  const std::vector<Place> before{{1, 10, 10, 20, 20}};
  auto covered = coveredBy(swayWindows(tree), treePids(tree), output, before);
  for (const auto& r : covered.pixels) check(r.x + r.width <= 1280 && r.y + r.height <= 720);
  return 0;
}
