// A pointer of our own on a wlroots compositor (the wlr virtual pointer): put
// at places of the output layout and turned like a wheel. Where it is, is
// known only right after we put it there.
#pragma once

#include <memory>
#include <optional>

#include "common/geometry.h"
#include "common/wayland/connection.h"

struct zwlr_virtual_pointer_v1;

namespace quorvane::input::wayland {

class WlrPointer {
 public:
  // nullptr when the compositor offers no virtual pointer or no seat.
  static std::unique_ptr<WlrPointer> create(quorvane::wayland::Connection& connection);
  ~WlrPointer();
  WlrPointer(const WlrPointer&) = delete;
  WlrPointer& operator=(const WlrPointer&) = delete;

  // Puts the pointer at that pixel of an output; false when no output holds
  // the point or the compositor did not take it.
  bool moveTo(Point to);
  // Turns the wheel by `clicks` notches towards the content below; false when the compositor did not take it.
  bool wheel(int clicks);
  // Where moveTo() last put the pointer.
  std::optional<Point> placed() const { return placed_; }

 private:
  WlrPointer(quorvane::wayland::Connection& connection, zwlr_virtual_pointer_v1* pointer)
      : connection_(connection), pointer_(pointer) {}

  quorvane::wayland::Connection& connection_;
  zwlr_virtual_pointer_v1* pointer_;
  std::optional<Point> placed_;
};

}  // namespace quorvane::input::wayland
