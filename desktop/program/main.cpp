// quorvane-desktop: hides the desktop icons behind each screen's wallpaper
// while the application takes a screenshot.
//   quorvane-desktop --mask-desktop | --self-test
#include <string>
#include <unistd.h>
#include <vector>

#include "common/channel.h"
#include "common/clock.h"
#include "common/posix/fd_output.h"
#include "common/posix/process.h"
#include "common/posix/session.h"
#include "desktop/mask.h"
#include "desktop/wayland/mask_backend.h"
#include "desktop/x11/mask_backend.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  std::vector<std::string> args(argv, argv + argc);
  posix::FdOutput out(STDOUT_FILENO);
  Channel channel(out, [](const std::string&) {
    static const char kText[] = "Cannot encode desktop-mask status\n";
    posix::FdOutput(STDERR_FILENO).write(std::string_view(kText, sizeof kText - 1));
  });
  SystemClock clock;
  posix::PosixProcess process;
  auto runWith = [&](auto& backend) {
    desktop::DesktopMask mask(backend, process, channel, clock);
    Outcome started = mask.start(args);
    return reportExit(channel, started ? *started : backend.run(mask, clock));
  };
  // In a Wayland session the covers are layer-shell surfaces (no screen at all
  // without layer-shell); DISPLAY there is XWayland and is never used.
  if (posix::waylandSession()) {
    desktop::wayland::MaskBackend backend;
    return runWith(backend);
  }
  desktop::x11::MaskBackend backend;
  return runWith(backend);
}
