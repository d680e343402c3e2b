#include "input/wayland/wlr_pointer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "common/wayland/protocols/wlr-virtual-pointer-unstable-v1-client.h"

namespace quorvane::input::wayland {

namespace {

// What one wheel notch scrolls, in the units libinput gives a wheel.
constexpr int kAxisPerNotch = 15;

std::uint32_t now() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace

std::unique_ptr<WlrPointer> WlrPointer::create(quorvane::wayland::Connection& connection) {
  if (!connection.virtualPointers() || !connection.seat()) return nullptr;
  auto* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(connection.virtualPointers(),
                                                                          connection.seat());
  if (!pointer) return nullptr;
  std::unique_ptr<WlrPointer> made(new WlrPointer(connection, pointer));
  return made->connection_.roundtrip() ? std::move(made) : nullptr;
}

WlrPointer::~WlrPointer() {
  zwlr_virtual_pointer_v1_destroy(pointer_);
  connection_.roundtrip();
}

bool WlrPointer::moveTo(Point to) {
  // Absolute places are fractions of the box around every output.
  double left = std::numeric_limits<double>::infinity(), top = left, right = -left, bottom = -left;
  bool onOutput = false;
  for (const auto& o : connection_.outputs()) {
    if (!o->done || o->logicalWidth <= 0 || o->logicalHeight <= 0) continue;
    const Rect r{double(o->x), double(o->y), double(o->logicalWidth), double(o->logicalHeight)};
    onOutput = onOutput || r.contains(to);
    left = std::min(left, r.minX()), top = std::min(top, r.minY());
    right = std::max(right, r.maxX()), bottom = std::max(bottom, r.maxY());
  }
  if (!onOutput) return false;
  const double x = std::floor(to.x) - left, y = std::floor(to.y) - top;
  zwlr_virtual_pointer_v1_motion_absolute(pointer_, now(), static_cast<std::uint32_t>(x),
                                          static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(right - left),
                                          static_cast<std::uint32_t>(bottom - top));
  zwlr_virtual_pointer_v1_frame(pointer_);
  if (!connection_.roundtrip()) return false;
  placed_ = Point{x + left, y + top};
  return true;
}

bool WlrPointer::wheel(int clicks) {
  zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_WHEEL);
  zwlr_virtual_pointer_v1_axis_discrete(pointer_, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                        wl_fixed_from_int(clicks * kAxisPerNotch), clicks);
  zwlr_virtual_pointer_v1_frame(pointer_);
  return connection_.roundtrip();
}

}  // namespace quorvane::input::wayland
