// quorvane-input: one mode per run, picked from the command line, on the
// window system the session offers: sway, KWin, any other Wayland compositor,
// an X server, or none.
#include <cerrno>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "common/channel.h"
#include "common/posix/fd_output.h"
#include "common/posix/process.h"
#include "common/posix/session.h"
#include "common/wayland/connection.h"
#include "common/wayland/plasma_windows.h"
#include "common/wayland/sway_ipc.h"
#include "input/answer.h"
#include "input/dispatcher.h"
#include "input/focus.h"
#include "input/kde/window_system.h"
#include "input/key_names.h"
#include "input/monitor.h"
#include "input/none/window_system.h"
#include "input/posix/fd_commands.h"
#include "input/scroll/scroll.h"
#include "input/scroll/scroll_rules.h"
#include "input/sway/window_system.h"
#include "input/texts.h"
#include "input/wayland/window_system.h"
#include "input/window_queries.h"
#include "input/x11/window_system.h"

using namespace quorvane;
using namespace quorvane::input;

namespace {

// The X connection is a socket: a server that went away must read as a lost
// connection, not kill the process with SIGPIPE halfway through a request, so
// SIGPIPE is ignored. Our own streams keep their old behaviour: a reader that
// went away still ends the process as the signal did.
class SigpipeOutput final : public Output {
 public:
  explicit SigpipeOutput(int fd) : fd_(fd) {}
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

// The backend for the session. In a Wayland session DISPLAY is XWayland,
// which sees only X11 clients: the compositor is asked instead, through sway's
// IPC where the compositor serving us is sway, through KWin's window list
// where KWin's grant offers it to us.
std::unique_ptr<WindowSystem> windowSystemFor(quorvane::posix::WindowServer server) {
  switch (server) {
    case quorvane::posix::WindowServer::x11:
      return std::make_unique<input::x11::XWindowSystem>();
    case quorvane::posix::WindowServer::wayland: {
      auto connection = quorvane::wayland::Connection::open();
      auto ipc = connection ? quorvane::wayland::SwayIpc::forSession(connection->peerPid()) : nullptr;
      if (ipc) return std::make_unique<input::sway::SwayWindowSystem>(std::move(connection), std::move(ipc));
      auto windows = connection ? quorvane::wayland::PlasmaWindowManagement::open(connection->display(),
                                                                                  quorvane::posix::answerDeadline())
                                : nullptr;
      if (windows) return std::make_unique<input::kde::KWinWindowSystem>(std::move(connection), std::move(windows));
      return std::make_unique<input::wayland::WaylandWindowSystem>(std::move(connection));
    }
    case quorvane::posix::WindowServer::none:
      break;
  }
  return std::make_unique<input::none::NoWindowSystem>();
}

}  // namespace

int main(int argc, char** argv) {
  // The parent first, before anything that can take time (the session probe waits up to 2 s).
  quorvane::posix::PosixProcess process;
  const std::vector<std::string> args(argv, argv + argc);
  // Built before any argument is read, whatever the mode.
  const KeyNames names = buildNames();

  std::signal(SIGPIPE, SIG_IGN);
  SigpipeOutput out(1), err(2);
  Channel channel = makeChannel(out, err);
  const Dispatch d = dispatch(args);
  if (d.mode == Mode::ScrollSelfTest) return answer(channel, scrollSelfTest(), 0);
  if (d.mode == Mode::KeySelfTest) return answer(channel, keySelfTest(names), 0);
  if (d.mode == Mode::Invalid) return answer(channel, errorMessage(texts::kInvalidSource), 1);

  // The other modes ask the window system, and only they look at the session.
  std::unique_ptr<WindowSystem> system = windowSystemFor(quorvane::posix::windowServer());
  SystemClock clock;
  Services services{.system = *system, .process = process, .clock = clock};
  switch (d.mode) {
    case Mode::CaptureWindows:
      return runCaptureWindows(services, channel);
    case Mode::ActiveWindow:
      return runActiveWindow(services, channel);
    case Mode::WindowInfo:
      return runWindowInfo(*system, args, channel);
    case Mode::Check:
      return runCheck(*system, channel);
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
    default:
      return 1;  // answered above
  }
}
