// What quorvane-input relies on from the window server and the process, as
// plain values. The X11 backend implements it for real; tests use the fake.
#pragma once

#include <cstdint>
#include <optional>

#include "input/window_description.h"

namespace quorvane::input {

class WindowServer {
 public:
  virtual ~WindowServer() = default;

  // The on-screen windows, front to back, desktop elements left out; nothing
  // when the window server cannot be asked.
  virtual std::optional<WindowList> onScreenWindows() = 0;
  // A list whose first entry describes that window, on screen or not; nothing
  // or an empty list when it does not exist.
  virtual std::optional<WindowList> windowById(std::uint32_t number) = 0;
};

class Process {
 public:
  virtual ~Process() = default;
  virtual std::int32_t parentPid() = 0;
  virtual std::int32_t ownPid() = 0;
};

class Permissions {
 public:
  virtual ~Permissions() = default;
  // Whether this process may listen to other applications' input; never prompts.
  virtual bool listenAccess() = 0;
  virtual void requestListenAccess() = 0;
};

}  // namespace quorvane::input
