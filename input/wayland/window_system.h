// quorvane-input in any Wayland session: what every compositor allows, which
// the compositor-specific backends build on. The input monitor reads the
// kernel's input devices (evdev), since no Wayland protocol tells one client
// of another's presses; displays are the compositor's outputs, numbered by
// their registry names as the streamer numbers them. No protocol common to
// compositors lists windows, moves the pointer or says where it is: those
// questions answer "nothing" here, so that each mode gives its own error, and
// a button press is no click while the pointer's place is unknown.
#pragma once

#include <memory>

#include "common/wayland/connection.h"
#include "input/evdev/devices.h"
#include "input/none/window_system.h"

namespace quorvane::input::wayland {

using quorvane::wayland::Connection;

class WaylandWindowSystem : public none::NoWindowSystem {
 public:
  // `connection` may be null: a compositor that did not answer has no outputs.
  explicit WaylandWindowSystem(std::unique_ptr<Connection> connection);

  // Some keyboard or pointer device can be read (the `input` group).
  bool listenAccess() override;
  ListenGrant listenGrant() override { return ListenGrant::inputGroup; }
  // An output's logical frame, by its registry name.
  Rect displayBounds(std::uint32_t displayId) override;
  bool startListening() override { return devices_.start(); }
  // Until the devices' folder itself goes away.
  bool listening() override { return devices_.listening(); }
  std::vector<int> pressDescriptors() override { return {devices_.descriptor()}; }
  // A click is handed over only where pointerLocation() knows the place.
  Outcome drainPresses(PressHandler& handler) override;

 protected:
  Connection* connection() { return connection_ && !connection_->broken() ? connection_.get() : nullptr; }
  // Whether some output's logical frame holds the point.
  bool onOutput(Point point);

 private:
  std::unique_ptr<Connection> connection_;
  evdev::InputDevices devices_;
};

}  // namespace quorvane::input::wayland
