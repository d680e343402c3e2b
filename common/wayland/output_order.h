// The order in which Plasma places its desktops and panels on the outputs
// (kde_output_order_v1): KWin offers it to every client. Plasma numbers its
// screens by this order, so it maps an output to Plasma's screen number.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/wayland/dispatch.h"

namespace quorvane::wayland {

// Bounds on what the compositor may make us hold.
inline constexpr std::size_t kMaxOrderedOutputs = 64;
inline constexpr std::size_t kMaxOutputName = 256;

// The output names, Plasma's first screen first; nullopt when the compositor
// does not offer the order or does not finish the list by the deadline.
std::optional<std::vector<std::string>> outputOrder(wl_display* display, Deadline deadline);

}  // namespace quorvane::wayland
