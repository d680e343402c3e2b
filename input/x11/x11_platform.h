// quorvane-input on X11. Window numbers are client window ids; bounds are
// frame rectangles in root coordinates; owners come from X-Resource with
// _NET_WM_PID as fallback.
#pragma once

#include <memory>
#include <vector>

#include "common/x11/connection.h"
#include "input/platform.h"

namespace quorvane::input {

class X11Platform : public WindowServer, public Process, public Permissions {
 public:
  X11Platform();
  ~X11Platform() override;

  std::optional<WindowList> onScreenWindows() override;
  std::optional<WindowList> windowById(std::uint32_t number) override;
  // Every managed client window, front to back, on screen or not.
  std::optional<WindowList> allClients();

  std::int32_t parentPid() override;
  std::int32_t ownPid() override;

  // X has no permission system: listening works when the server offers XInput 2.2.
  bool listenAccess() override;
  void requestListenAccess() override {}

  // The connection, opened on first use; nullptr when no X server answers.
  x11::Connection* connection();

  struct Atoms;

 protected:
  const Atoms& atoms();

 private:
  std::unique_ptr<x11::Connection> conn_;
  bool tried_ = false;
  std::unique_ptr<Atoms> atoms_;
};

}  // namespace quorvane::input
