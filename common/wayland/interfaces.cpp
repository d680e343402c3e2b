#include "common/wayland/interfaces.h"

#include <cstring>

// interface_list.inc, written by the build from the protocols' XML: one
// QUORVANE_INTERFACE(name) for each interface.
#define QUORVANE_INTERFACE(name) extern "C" __attribute__((visibility("hidden"))) const wl_interface name##_interface;
#include "common/wayland/protocols/interface_list.inc"
#undef QUORVANE_INTERFACE

namespace quorvane::wayland {

const wl_interface* interfaceNamed(const char* name) {
  static const wl_interface* const all[] = {
#define QUORVANE_INTERFACE(name) &name##_interface,
#include "common/wayland/protocols/interface_list.inc"
#undef QUORVANE_INTERFACE
  };
  if (!name) return nullptr;
  for (const wl_interface* i : all) {
    if (std::strcmp(i->name, name) == 0) return i;
  }
  return nullptr;
}

}  // namespace quorvane::wayland
