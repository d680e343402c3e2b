// The input monitor on X11: XInput 2.2 raw key and button presses on the root
// for every master device, modifiers tracked from XKB state events, and one
// poll loop over the X connection with the sampling timer.
#pragma once

#include <cstdint>

#include <xcb/xcb.h>

#include "common/channel.h"
#include "common/clock.h"
#include "input/dispatcher.h"
#include "input/key_names.h"
#include "input/monitor.h"
#include "input/x11/x11_platform.h"

namespace quorvane::input {

class X11Monitor : public MonitorPlatform {
 public:
  explicit X11Monitor(X11Platform& x) : x_(x) {}

  // RandR monitors, by name atom; all zero for an unknown id.
  Rect displayBounds(std::uint32_t displayId) override;
  std::optional<Point> pointerLocation() override;
  bool startListening() override;
  // X has no switch for listening: it stops when the connection is lost.
  bool listening() override { return x_.connection() != nullptr; }

  // Starts the monitor and runs it until it ends; the exit status.
  int run(Monitor& core, Clock& clock, Channel& channel);

 private:
  bool selectRawPresses();
  bool trackModifiers();
  Step handle(Monitor& core, const xcb_generic_event_t* event);
  Step drainEvents(Monitor& core);

  X11Platform& x_;
  std::uint8_t xinputOpcode_ = 0;
  std::uint8_t xkbFirstEvent_ = 0;
  std::uint64_t flags_ = 0;  // the modifiers held now, as key-down flags
};

// The monitor mode of quorvane-input on X11.
int runX11Monitor(X11Platform& x, const InputSource& source, const KeyNames& names, Channel& channel);

}  // namespace quorvane::input
