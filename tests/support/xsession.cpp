#include "tests/support/xsession.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <xcb/xcb.h>

#include "tests/support/eventually.h"

namespace quorvane::test {

namespace {

pid_t spawnDaemon(const std::vector<std::string>& argv, const std::string& display, int keepFd = -1) {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    if (!std::getenv("QUORVANE_X_VERBOSE")) dup2(null, 2);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void stop(pid_t& pid) {
  if (pid <= 0) return;
  // Two seconds to end on its own, then it is killed.
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  kill(pid, SIGTERM);
  pollfd p{ended, POLLIN, 0};
  if (ended < 0 || poll(&p, 1, 2000) <= 0) kill(pid, SIGKILL);
  if (ended >= 0) close(ended);
  int st;
  waitpid(pid, &st, 0);
  pid = -1;
}

// openbox announces itself before it handles map requests, and drops the ones
// that come in between: it is ready once a window of ours really gets mapped.
bool probeWindowGetsMapped(xcb_connection_t* c) {
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, 0, nullptr);
  xcb_map_window(c, w);
  bool mapped = false;
  for (int i = 0; i < 25 && !mapped; ++i) {
    auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    mapped = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    free(a);
    if (!mapped) usleep(4000);
  }
  xcb_destroy_window(c, w);
  xcb_flush(c);
  return mapped;
}

// True once a window manager has announced itself on the root window and maps windows.
bool windowManagerRunning(const std::string& display) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  bool running = false;
  if (!xcb_connection_has_error(c)) {
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    if (atom && atom->atom != XCB_NONE) {
      xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
      auto* prop = xcb_get_property_reply(
          c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
      running = prop && xcb_get_property_value_length(prop) == 4;
      free(prop);
    }
    free(atom);
  }
  if (running) running = probeWindowGetsMapped(c);
  xcb_disconnect(c);
  return running;
}

std::vector<std::string>& displays() {
  static std::vector<std::string> live;
  return live;
}

}  // namespace

std::vector<std::string> liveDisplays() { return displays(); }

XSession::XSession(const XSessionOptions& options) {
  startServer(options);
  displays().push_back(display_);
  if (!options.monitors.empty()) declareMonitors(options.monitors);
  if (options.windowManager) startWindowManager();
}

XSession::~XSession() {
  std::erase(displays(), display_);
  stop(wmPid_);
  stop(serverPid_);
}

void XSession::startServer(const XSessionOptions& options) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  serverPid_ = spawnDaemon({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten",
                            "tcp", "-noreset", "+extension", "RANDR", "+extension", "Composite"},
                           "", fds[1]);
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (poll(&p, 1, 100) > 0) {
      char ch;
      ssize_t n = read(fds[0], &ch, 1);
      if (n <= 0) break;
      if (ch == '\n') break;
      number += ch;
    }
  }
  close(fds[0]);
  if (number.empty()) {
    stop(serverPid_);
    throw std::runtime_error("Xvfb did not report a display number");
  }
  display_ = ":" + number;
}

void XSession::declareMonitors(const std::vector<std::string>& monitors) {
  // Virtual RandR monitors split the one Xvfb screen, as several outputs would.
  for (size_t i = 0; i < monitors.size(); ++i) {
    const std::string& geometry = monitors[i];
    int w = 0, h = 0, x = 0, y = 0;
    if (sscanf(geometry.c_str(), "%dx%d+%d+%d", &w, &h, &x, &y) != 4) throw std::runtime_error("bad monitor " + geometry);
    // xrandr wants "w/mmw x h/mmh + x + y"; 0.26 mm per pixel is a common panel.
    std::string spec = std::to_string(w) + "/" + std::to_string(w * 26 / 100) + "x" + std::to_string(h) + "/" +
                       std::to_string(h * 26 / 100) + "+" + std::to_string(x) + "+" + std::to_string(y);
    std::string name = "QV-" + std::to_string(i + 1);
    pid_t pid = spawnDaemon({"xrandr", "--setmonitor", name, spec, i == 0 ? "screen" : "none"}, display_);
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) throw std::runtime_error("xrandr --setmonitor failed");
  }
}

void XSession::startWindowManager() {
  wmPid_ = spawnDaemon({"openbox", "--sm-disable"}, display_);
  if (!eventually([&] { return windowManagerRunning(display_); }, std::chrono::seconds(20))) {
    throw std::runtime_error("openbox did not start");
  }
}

void XSession::exportDisplay() const { setenv("DISPLAY", display_.c_str(), 1); }

XSession& sharedXSession(const XSessionOptions& options) {
  static XSession session(options);
  return session;
}

}  // namespace quorvane::test
