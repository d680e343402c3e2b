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
#include "desktop/wayland/mask_backend.h"
#include "desktop/x11/mask_backend.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  desktop::posix::Termination termination;  // before any thread, and before the window server is asked
  std::vector<std::string> args(argv, argv + argc);
  posix::FdOutput out(STDOUT_FILENO);
  Channel channel(out, [](const std::string&) { posix::FdOutput(STDERR_FILENO).write(desktop::texts::kCannotEncode); });
  try {
    // Wayland: layer-shell covers (DISPLAY there is XWayland, never used). X11, or no
    // window server at all, which the X11 backend finds and says so.
    std::unique_ptr<desktop::MaskPlatform> platform;
    if (posix::windowServer() == posix::WindowServer::wayland) {
      platform = std::make_unique<desktop::wayland::MaskBackend>(termination);
    } else {
      platform = std::make_unique<desktop::x11::MaskBackend>(termination);
    }
    SystemClock clock;
    posix::PosixProcess process;
    desktop::DesktopMask mask(*platform, process, channel, clock);
    return reportExit(channel, mask.run(args));
  } catch (const std::bad_alloc&) {
    return 1;  // out of memory: the covers go with the process
  }
}
