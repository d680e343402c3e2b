// quorvane-input: one mode per run, picked from the command line.
#include <cstdlib>
#include <string>
#include <vector>

#include "common/channel.h"
#include "common/posix/fd_output.h"
#include "input/answer.h"
#include "input/dispatcher.h"
#include "input/fd_commands.h"
#include "input/focus.h"
#include "input/key_names.h"
#include "input/scroll/scroll.h"
#include "input/scroll/scroll_rules.h"
#include "input/window_queries.h"
#include "input/x11/x11_automation.h"
#include "input/x11/x11_platform.h"
#include "input/x11/x11_monitor.h"

using namespace quorvane;
using namespace quorvane::input;

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  // Built before any argument is read, whatever the mode.
  const KeyNames names = buildNames();

  posix::FdOutput out(1), err(2);
  Channel channel = makeChannel(out, err);
  const Dispatch d = dispatch(args);

  X11Platform platform;
  switch (d.mode) {
    case Mode::ScrollSelfTest:
      return answer(channel, scrollSelfTest(), 0);
    case Mode::KeySelfTest:
      return answer(channel, keySelfTest(names), 0);
    case Mode::CaptureWindows:
      return runCaptureWindows(platform, platform, channel);
    case Mode::ActiveWindow:
      return runActiveWindow(platform, platform, channel);
    case Mode::WindowInfo:
      return runWindowInfo(platform, args, channel);
    case Mode::Check:
      return runCheck(platform, channel);
    case Mode::Monitor:
      return runX11Monitor(platform, d.source, names, channel);
    case Mode::FocusWindow: {
      X11Automation automation(platform);
      SystemClock clock;
      FocusPlatform focus{platform, platform, automation, automation, clock};
      return runFocusWindow(focus, args[2], channel);
    }
    case Mode::Scroll: {
      X11Automation automation(platform);
      SystemClock clock;
      FdCommands commands(0);
      ScrollPlatform scroll{platform, platform, automation, automation, automation, commands, clock};
      return runScroll(scroll, args, channel);
    }
    case Mode::Invalid:
      break;
  }
  return answer(channel, errorMessage(kInvalidSourceText), 1);
}
