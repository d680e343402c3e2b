// What quorvane-input relies on from the window system it runs on: the window
// list, applications and their activation, the accessibility view of windows,
// the pointer and the wheel, and listening to every application's key and
// button presses. A backend is a folder implementing WindowSystem: x11/ for an
// X server, wayland/ for any Wayland compositor, sway/ and kde/ (KWin) built
// on it, none/ where there is no window server to ask; input/program/main.cpp
// picks one for the session. The core owns every loop: a backend only answers
// and hands over what it has read. The unit tests use input/fake_window_system.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/outcome.h"
#include "common/process.h"
#include "input/window_description.h"

namespace quorvane::input {

// One window as the accessibility interface sees it. Position or size is
// nothing when it could not be read as a point or size.
struct AccessibilityWindow {
  std::uint64_t handle = 0;  // the backend's reference to the window
  std::optional<Point> position;
  std::optional<Point> size;  // width in x, height in y
};

// Who lets this process listen to other applications' input: the system's
// settings, or membership of the group that may read the input devices.
enum class ListenGrant { systemSettings, inputGroup };

enum class WheelResult {
  Posted,
  TargetChanged,  // the window under the pointer is no longer the target: nothing was posted
  CannotCreate,
};

// Where a backend hands the presses it has read while listening (the input
// monitor). Each call says whether to carry on.
class PressHandler {
 public:
  virtual ~PressHandler() = default;
  // A key went down: its ANSI virtual key code and the modifiers held, as key-down flags (key_names.h).
  virtual Outcome onKeyDown(std::int64_t keyCode, std::uint64_t flags) = 0;
  // A left, right or other button went down with the pointer there; wheel steps are not presses.
  virtual Outcome onButtonDown(Point location) = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The on-screen windows, front to back, desktop elements left out; nothing
  // when the window system cannot be asked.
  virtual std::optional<WindowList> onScreenWindows() = 0;
  // A list whose first entry describes that window, on screen or not; nothing
  // or an empty list when it does not exist.
  virtual std::optional<WindowList> windowById(std::uint32_t number) = 0;

  // Whether a running application owns that pid.
  virtual bool running(std::int32_t pid) = 0;
  // Asks for the application to come to the front; the answer is not used.
  virtual void activate(std::int32_t pid) = 0;
  // The pid of the application in front now, if any.
  virtual std::optional<std::int32_t> frontmostPid() = 0;

  // Whether this process may use the accessibility interface; never prompts.
  virtual bool accessibilityTrusted() = 0;
  // The application's windows; nothing when the list cannot be read.
  virtual std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t pid) = 0;
  // Raises the window; false when the platform refused.
  virtual bool raise(const AccessibilityWindow& window) = 0;
  // The process owning the element under the point; nothing when the hit test fails.
  virtual std::optional<std::int32_t> pidAt(Point point) = 0;

  // Whether this process may post synthetic events; never prompts.
  virtual bool postAccess() = 0;
  // The pointer's location now; nothing when it cannot be read.
  virtual std::optional<Point> pointerLocation() = 0;
  // Moves the pointer; false when the event could not be made.
  virtual bool movePointer(Point to) = 0;
  // Turns the wheel where the pointer rests by `pixels` towards the content
  // below, delivered only if window `target` is still the one under it.
  virtual WheelResult scrollWheel(int pixels, std::uint32_t target) = 0;

  // Whether this process may listen to other applications' input; never prompts.
  virtual bool listenAccess() = 0;
  // Where the user grants it, for the monitor's permission error.
  virtual ListenGrant listenGrant() = 0;
  // The display's frame in global coordinates; all zero for an unknown display.
  virtual Rect displayBounds(std::uint32_t displayId) = 0;
  // Starts listening to key and button presses of every application, without
  // changing or swallowing them; false when listening cannot be set up.
  virtual bool startListening() = 0;
  // Whether the listening still works (the system has not switched it off).
  virtual bool listening() = 0;
  // The descriptors that turn readable when presses may have arrived; the
  // monitor waits on them between its samples.
  virtual std::vector<int> pressDescriptors() = 0;
  // Hands every press that has arrived to the handler, in order, without
  // waiting; stops at the first end the handler gives.
  virtual Outcome drainPresses(PressHandler& handler) = 0;
};

// Sleeping until one of the descriptors is readable or the time is up.
class DescriptorWait {
 public:
  virtual ~DescriptorWait() = default;
  virtual void wait(const std::vector<int>& descriptors, int timeoutMs) = 0;
};

// Command lines from the application (auto-scroll's standard input).
class CommandInput {
 public:
  virtual ~CommandInput() = default;
  // The next line without its terminator (a line feed, or a carriage return
  // and line feed), waiting at most timeoutMs in all however its bytes
  // arrive; nothing at end of input, on time-out or when the input fails.
  virtual std::optional<std::string> next(int timeoutMs) = 0;
};

// What every mode works with besides its channel; main names each part.
struct Services {
  WindowSystem& system;
  Process& process;
  Clock& clock;
};

}  // namespace quorvane::input
