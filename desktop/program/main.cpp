// quorvane-desktop: hides the desktop icons behind each screen's wallpaper
// while the application takes a screenshot.
//   quorvane-desktop --mask-desktop | --self-test
#include <memory>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/channel.h"
#include "common/clock.h"
#include "common/posix/fd_output.h"
#include "common/posix/process.h"
#include "common/posix/session.h"
#include "desktop/mask.h"
#include "desktop/posix/linux_platform.h"
#include "desktop/texts.h"
#include "desktop/wayland/mask_backend.h"
#include "desktop/x11/mask_backend.h"

namespace {

using namespace quorvane;

// In a Wayland session the covers are layer-shell surfaces; DISPLAY there is
// XWayland and is never used. Without any window server the X11 backend finds
// no screen and says so.
std::unique_ptr<desktop::MaskPlatform> backendFor(posix::WindowServer server, desktop::posix::Termination& t) {
  switch (server) {
    case posix::WindowServer::wayland: return std::make_unique<desktop::wayland::MaskBackend>(t);
    case posix::WindowServer::x11:
    case posix::WindowServer::none: return std::make_unique<desktop::x11::MaskBackend>(t);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  // First, before any thread exists and before the window server is asked.
  desktop::posix::Termination termination;
  std::vector<std::string> args(argv, argv + argc);
  posix::FdOutput out(STDOUT_FILENO);
  Channel channel(out, [](const std::string&) {
    posix::FdOutput(STDERR_FILENO).write(desktop::texts::kCannotEncode);
  });
  try {
    SystemClock clock;
    posix::PosixProcess process;
    std::unique_ptr<desktop::MaskPlatform> platform = backendFor(posix::windowServer(), termination);
    desktop::DesktopMask mask(*platform, process, channel, clock);
    return reportExit(channel, mask.run(args));
  } catch (const std::bad_alloc&) {
    // Out of memory: the covers go with the process, quietly.
    return 1;
  }
}
