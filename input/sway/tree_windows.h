// sway's window tree as quorvane-input's window list: views with their node
// ids as window numbers, app ids as owner names, and frames that take in the
// title bar sway draws above a view.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/wayland/sway_tree.h"
#include "input/window_description.h"

namespace quorvane::input::sway {

using quorvane::wayland::SwayTree;

// Every view front to back: outputs as recently focused first; on each
// workspace its floating views top to bottom, above its tiled ones, which
// never overlap one another and come in the order they were last focused.
// Only the views on screen (visible workspaces, scratchpad left out) when
// `onScreenOnly`.
WindowList treeWindows(const SwayTree& tree, bool onScreenOnly);

// The views of the tree in that order, as the tree's node indices.
std::vector<std::size_t> viewsFrontToBack(const SwayTree& tree);

// The owner of the focused view; nothing when a workspace or nothing has focus.
std::optional<std::int32_t> focusedPid(const SwayTree& tree);

// The frontmost view of that owner, on screen or not; nothing without one.
std::optional<std::uint32_t> frontViewOf(const SwayTree& tree, std::int32_t pid);

// Whether sway ran every command of a RUN_COMMAND reply ([{"success":true},...]).
bool commandsSucceeded(std::string_view reply);

}  // namespace quorvane::input::sway
