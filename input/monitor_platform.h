// What the input monitor relies on beyond the window list, the process and the
// permission test: display frames, the pointer, and listening to other
// applications' key and button presses.
#pragma once

#include <cstdint>
#include <optional>

#include "input/window_description.h"

namespace quorvane::input {

class MonitorPlatform {
 public:
  virtual ~MonitorPlatform() = default;

  // The display's frame in global coordinates; all zero for an unknown display.
  virtual Rect displayBounds(std::uint32_t displayId) = 0;
  // Where the pointer is now; nothing when it cannot be read.
  virtual std::optional<Point> pointerLocation() = 0;
  // Starts listening to key and button presses of every application, without
  // changing or swallowing them; false when listening cannot be set up.
  virtual bool startListening() = 0;
  // Whether the listening still works (the system has not switched it off).
  virtual bool listening() = 0;
};

}  // namespace quorvane::input
