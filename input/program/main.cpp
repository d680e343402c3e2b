// quorvane-input: one mode per run, picked from the command line, on the
// backend of the session (X11, the only one so far).
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "common/channel.h"
#include "common/posix/fd_output.h"
#include "common/posix/process.h"
#include "input/answer.h"
#include "input/dispatcher.h"
#include "input/focus.h"
#include "input/key_names.h"
#include "input/monitor.h"
#include "input/posix/fd_commands.h"
#include "input/posix/poll_wait.h"
#include "input/scroll/scroll.h"
#include "input/scroll/scroll_rules.h"
#include "input/window_queries.h"
#include "input/x11/window_system.h"

using namespace quorvane;
using namespace quorvane::input;

namespace {

// The X connection is a socket: a server that went away must read as a lost
// connection, not kill the process with SIGPIPE halfway through a request, so
// SIGPIPE is ignored. Our own streams keep their old behaviour: a reader that
// went away still ends the process as the signal did.
class StreamOutput final : public Output {
 public:
  explicit StreamOutput(int fd) : fd_(fd) {}
  bool write(std::string_view bytes) override {
    if (fd_.write(bytes)) return true;
    if (errno == EPIPE) {
      std::signal(SIGPIPE, SIG_DFL);
      std::raise(SIGPIPE);
    }
    return false;
  }

 private:
  quorvane::posix::FdOutput fd_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  // Built before any argument is read, whatever the mode.
  const KeyNames names = buildNames();

  std::signal(SIGPIPE, SIG_IGN);
  StreamOutput out(1), err(2);
  Channel channel = makeChannel(out, err);
  const Dispatch d = dispatch(args);

  input::x11::XWindowSystem desktop;
  quorvane::posix::PosixProcess process;
  SystemClock clock;
  Services services{.system = desktop, .process = process, .clock = clock};
  switch (d.mode) {
    case Mode::ScrollSelfTest:
      return answer(channel, scrollSelfTest(), 0);
    case Mode::KeySelfTest:
      return answer(channel, keySelfTest(names), 0);
    case Mode::CaptureWindows:
      return runCaptureWindows(services, channel);
    case Mode::ActiveWindow:
      return runActiveWindow(services, channel);
    case Mode::WindowInfo:
      return runWindowInfo(desktop, args, channel);
    case Mode::Check:
      return runCheck(desktop, channel);
    case Mode::Monitor: {
      input::posix::PollWait wait;
      return Monitor(names, d.source, services, wait, channel).run();
    }
    case Mode::FocusWindow:
      return runFocusWindow(services, args[2], channel);
    case Mode::Scroll: {
      input::posix::FdCommands commands(0);
      return runScroll(services, commands, args, channel);
    }
    case Mode::Invalid:
      break;
  }
  return answer(channel, errorMessage(texts::kInvalidSource), 1);
}
