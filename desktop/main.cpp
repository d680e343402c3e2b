// quorvane-desktop: hides the desktop icons behind each screen's wallpaper
// while the application takes a screenshot.
//   quorvane-desktop --mask-desktop | --self-test
#include <string>
#include <unistd.h>
#include <vector>

#include "common/channel.h"
#include "common/posix/fd_output.h"
#include "common/clock.h"
#include "desktop/mask.h"
#include "desktop/x11/x11_platform.h"

int main(int argc, char** argv) {
  using namespace quorvane;
  std::vector<std::string> args(argv, argv + argc);
  posix::FdOutput out(STDOUT_FILENO);
  Channel channel(out, [](const std::string&) {
    static const char kText[] = "Cannot encode desktop-mask status\n";
    posix::FdOutput(STDERR_FILENO).write(std::string_view(kText, sizeof kText - 1));
  });
  SystemClock clock;
  desktop::x11::X11Platform platform;
  desktop::DesktopMask mask(platform, channel, clock);
  desktop::Verdict v = mask.start(args);
  if (v.end) return v.status;
  return platform.run(mask, clock);
}
