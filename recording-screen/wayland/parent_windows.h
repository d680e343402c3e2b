// Where the application's windows sit in a frame of one output, from sway's
// window tree: no Wayland protocol tells a client where another client's
// windows are, so on sway they are painted over instead of left out.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/wayland/sway_tree.h"

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
  bool operator==(const PixelRect&) const = default;
};

// Where part of one of the application's windows (its rectangle or title
// bar) lay at a look at the tree, in the global space; `window` is sway's id.
struct Place {
  std::int64_t window = 0;
  double left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Place&) const = default;
};

struct Covered {
  std::vector<PixelRect> pixels;  // the parts of the frame to paint over
  std::vector<Place> places;      // where their windows lay, for the next look
};

// The pids owning windows in the tree, each once; none without a tree.
std::vector<std::int32_t> treePids(const std::optional<quorvane::wayland::SwayTree>& tree);

// The parts of the frame where windows of `pids` show (title bars and borders
// included; not where another window lies above them). The tree is read after
// the frame was copied, so a window of theirs that has moved since is painted
// over where it lay at the look before (`before`) as well, and one gone since,
// where it lay. Fails closed: the whole frame when there is no tree, a window
// of theirs has no readable place, or the output is turned and one of their
// windows touches it.
Covered coveredBy(const std::optional<quorvane::wayland::SwayTree>& tree, const std::vector<std::int32_t>& pids,
                  const OutputPlace& output, const std::vector<Place>& before);

}  // namespace quorvane::recording::wayland
