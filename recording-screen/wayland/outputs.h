// What every Wayland backend of the streamer asks of the compositor's outputs.
#pragma once

#include <string>
#include <vector>

#include "common/wayland/connection.h"
#include "recording-screen/capture.h"
#include "recording-screen/wayland/parent_windows.h"

namespace quorvane::recording::wayland {

// The displays of the outputs described in full so far.
std::vector<Display> displaysOf(const quorvane::wayland::Connection& connection);

// The output a stream of `filter` shows, as long as its frames are still the
// configured size; otherwise null, and the stream would show the wrong area.
const quorvane::wayland::Output* configuredOutput(const quorvane::wayland::Connection& connection,
                                                  const ContentFilter& filter,
                                                  const StreamConfiguration& configuration);
inline constexpr char kOutputChanged[] = "the output has changed";

// Where the output lies in the global space and the size of its frames, which
// come turned as the output is when `framesTurned` (screencopy's do; KWin's
// screenshots come as the screen is seen).
OutputPlace placeOf(const quorvane::wayland::Output& output, bool framesTurned);

}  // namespace quorvane::recording::wayland
