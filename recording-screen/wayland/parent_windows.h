// Where the application's windows sit in a frame of one output, from a list
// of the windows the compositor shows (sway's window tree, KWin's window
// list): no Wayland protocol leaves another client's windows out of a
// capture, so they are painted over instead.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/wayland/sway_tree.h"

namespace quorvane::recording::wayland {

// What covers the application's windows: sway's own grey, shown where no
// background is drawn.
inline constexpr std::uint32_t kCoverXrgb = 0x404040;

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

// A rectangle in the global (logical) space.
struct Box {
  double left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Box&) const = default;
};

// One shown window as the compositor lists it.
struct ListedWindow {
  std::int64_t id = 0;
  std::optional<std::int32_t> pid;        // none: its owner is unknown, and it counts as theirs
  std::optional<std::vector<Box>> boxes;  // none: its place cannot be read
  bool operator==(const ListedWindow&) const = default;
};

struct Covered {
  std::vector<PixelRect> pixels;  // the parts of the frame to paint over
  std::vector<Place> places;      // where their windows lay, for the next look
};

// The pids owning windows in the tree, each once; none without a tree.
std::vector<std::int32_t> treePids(const std::optional<quorvane::wayland::SwayTree>& tree);

// The parts of the frame where windows of `pids` show, from the shown windows
// bottom to top (not where another window lies above them). The list is read
// after the frame was copied, so a window of theirs that has moved since is
// painted over where it lay at the look before (`before`) as well, and one
// gone since, where it lay. Fails closed: the whole frame when there is no
// list, a window of theirs has no readable place, or the output is turned and
// one of their windows touches it.
Covered coveredBy(const std::optional<std::vector<ListedWindow>>& windows, const std::vector<std::int32_t>& pids,
                  const OutputPlace& output, const std::vector<Place>& before);
// Paints the rectangles over in a frame of 32-bit pixels (kCoverXrgb).
void paintOver(std::uint8_t* pixels, std::size_t stride, std::uint32_t width, std::uint32_t height,
               const std::vector<PixelRect>& rects);

// sway's shown windows (title bars and borders included), bottom to top:
// tiled windows before floating ones, floating ones in their stacking order.
std::optional<std::vector<ListedWindow>> swayWindows(const std::optional<quorvane::wayland::SwayTree>& tree);

}  // namespace quorvane::recording::wayland
