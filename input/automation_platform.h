// What focusing and auto-scroll rely on beyond the window list: applications
// and their activation, the accessibility view of windows, synthetic pointer
// and wheel events, and the command lines on standard input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "input/window_description.h"

namespace quorvane::input {

class Applications {
 public:
  virtual ~Applications() = default;
  // Whether a running application owns that pid.
  virtual bool running(std::int32_t pid) = 0;
  // Asks for the application to come to the front; the answer is not used.
  virtual void activate(std::int32_t pid) = 0;
  // The pid of the application in front now, if any.
  virtual std::optional<std::int32_t> frontmostPid() = 0;
};

// One window as the accessibility interface sees it. Position or size is
// nothing when it could not be read as a point or size.
struct AccessibilityWindow {
  std::uint64_t handle = 0;  // the backend's reference to the window
  std::optional<Point> position;
  std::optional<Point> size;  // width in x, height in y
};

class Accessibility {
 public:
  virtual ~Accessibility() = default;
  // Whether this process may use the accessibility interface; never prompts.
  virtual bool trusted() = 0;
  // The application's windows; nothing when the list cannot be read.
  virtual std::optional<std::vector<AccessibilityWindow>> windows(std::int32_t pid) = 0;
  // Raises the window; false when the platform refused.
  virtual bool raise(const AccessibilityWindow& window) = 0;
  // The process owning the element under the point; nothing when the hit test fails.
  virtual std::optional<std::int32_t> pidAt(Point point) = 0;
};

enum class WheelResult {
  Posted,
  TargetChanged,  // the window under the point is no longer the target: nothing was posted
  CannotCreate,
};

class SyntheticEvents {
 public:
  virtual ~SyntheticEvents() = default;
  // Whether this process may post synthetic events; never prompts.
  virtual bool postAccess() = 0;
  virtual void requestPostAccess() = 0;
  // The pointer's location now; nothing when it cannot be read.
  virtual std::optional<Point> pointerLocation() = 0;
  // Moves the pointer; false when the event could not be made.
  virtual bool movePointer(Point to) = 0;
  // Turns the wheel over the point by `pixels` towards the content below,
  // delivered only if window `target` is still the one under the point.
  virtual WheelResult scrollWheel(Point at, int pixels, std::uint32_t target) = 0;
};

// Waiting for and reading command lines.
struct InputWait {
  int ready = 0;         // descriptors ready: 0 on time-out, negative on error
  bool readable = true;  // the returned events include "data to read"
};

class CommandInput {
 public:
  virtual ~CommandInput() = default;
  virtual InputWait wait(int timeoutMs) = 0;
  // The next line without its terminator (a line feed, or a carriage return
  // and line feed); nothing at end of input.
  virtual std::optional<std::string> readLine() = 0;
};

}  // namespace quorvane::input
