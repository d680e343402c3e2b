// Where the application's windows sit in a frame of one output, from sway's
// window tree (IPC GET_TREE): no Wayland protocol tells a client where another
// client's windows are, so on sway they are painted over instead of left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvane::recording::wayland {

// An output in the global (logical) space and the size of its frames.
struct OutputPlace {
  std::int32_t x = 0, y = 0;
  std::int32_t logicalWidth = 0, logicalHeight = 0;
  std::uint32_t pixelWidth = 0, pixelHeight = 0;
  bool transformed = false;  // turned or flipped: frame pixels do not follow the layout
};

// Frame pixels [x, x + width) x [y, y + height).
struct PixelRect {
  std::uint32_t x = 0, y = 0, width = 0, height = 0;
};

// The pids owning windows in the tree, each once; empty when it is no tree.
std::vector<std::int32_t> treePids(std::string_view tree);

// The parts of the frame where windows of `pids` show (title bars and borders
// included; not where another window lies above them). Fails closed: the whole frame when the tree cannot be read, a
// window of theirs has no readable place, or the output is turned and one of
// their windows touches it.
std::vector<PixelRect> coveredBy(std::string_view tree, const std::vector<std::int32_t>& pids,
                                 const OutputPlace& output);

}  // namespace quorvane::recording::wayland
