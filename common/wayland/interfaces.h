// The interfaces of every protocol this project speaks, the core one too: our
// own generated copies, found by the name a proxy's interface has.
#pragma once

#include <wayland-util.h>

namespace quorvane::wayland {

// Null when no protocol of ours has an interface of that name.
const wl_interface* interfaceNamed(const char* name);

}  // namespace quorvane::wayland
