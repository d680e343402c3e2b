// Private X sessions, waiting on them, and the driver of the fake application.
#include "tests/support/xsession.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

#include "common/x11/connection.h"
#include "tests/support/eventually.h"
#include "tests/support/fake_app.h"

namespace quorvane::test {

namespace {

std::vector<std::string> liveDisplays;  // of the sessions this process runs now

// True once a window manager has announced itself on the root window and maps
// windows: openbox announces itself before it handles map requests, and drops
// the ones that come in between.
bool windowManagerRunning(const std::string& display) {
  auto x = x11::Connection::open(display.c_str());
  if (!x || !x11::cardinal(*x, x->root(), x->atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW)) return false;
  const xcb_window_t probe = xcb_generate_id(x->get());
  const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, probe, x->root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  xcb_map_window(x->get(), probe);
  xcb_flush(x->get());
  pollfd p{xcb_get_file_descriptor(x->get()), POLLIN, 0};
  bool mapped = false;
  while (!mapped && !x->broken() && poll(&p, 1, 100) > 0) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(x->get())) {
      mapped = mapped || (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
      free(e);
    }
  }
  return mapped;  // the probe goes with the connection
}

}  // namespace

XSession::XSession(const XSessionOptions& options) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::map<int, int> quiet = {{0, -1}, {1, -1}, {2, std::getenv("QUORVANE_X_VERBOSE") ? 2 : -1}};
  std::map<int, int> serverFds = quiet;
  serverFds[3] = fds[1];
  serverPid_ = spawn({"Xvfb", "-displayfd", "3", "-screen", "0",
                      std::to_string(options.width) + "x" + std::to_string(options.height) + "x24", "-nolisten", "tcp",
                      "-noreset", "+extension", "RANDR", "+extension", "Composite"}, {}, serverFds, true);
  close(fds[1]);
  // Xvfb writes its display number once it takes connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char ch;
  while (poll(&p, 1, 20000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
  close(fds[0]);
  if (number.empty()) {
    stop(serverPid_);
    throw std::runtime_error("Xvfb did not report a display number");
  }
  display_ = ":" + number;
  liveDisplays.push_back(display_);
  const SpawnOptions onDisplay{.env = {{"DISPLAY", display_}}};
  for (size_t i = 0; i < options.monitors.size(); ++i) {
    // Virtual RandR monitors split the one Xvfb screen, as several outputs would.
    int w = 0, h = 0, x = 0, y = 0;
    if (sscanf(options.monitors[i].c_str(), "%dx%d+%d+%d", &w, &h, &x, &y) != 4)
      throw std::runtime_error("bad monitor");
    // xrandr wants "w/mmw x h/mmh + x + y"; 0.26 mm per pixel is a common panel.
    const std::string geometry = std::to_string(w) + "/" + std::to_string(w * 26 / 100) + "x" + std::to_string(h) +
                                 "/" + std::to_string(h * 26 / 100) + "+" + std::to_string(x) + "+" + std::to_string(y);
    const std::vector<std::string> argv{"xrandr", "--setmonitor", "QV-" + std::to_string(i + 1), geometry,
                                        i == 0 ? "screen" : "none"};
    if (run(argv, "", onDisplay).status != 0) throw std::runtime_error("xrandr --setmonitor failed");
  }
  if (options.windowManager) {
    wmPid_ = spawn({"openbox", "--sm-disable"}, onDisplay, quiet, true);
    if (!eventually([&] { return windowManagerRunning(display_); }, std::chrono::seconds(20))) {
      throw std::runtime_error("openbox did not start");
    }
  }
}

XSession::~XSession() {
  std::erase(liveDisplays, display_);
  stop(wmPid_);
  stop(serverPid_);
}

void XSession::exportDisplay() const { setenv("DISPLAY", display_.c_str(), 1); }

XSession& sharedXSession(const XSessionOptions& options) {
  static XSession session(options);
  return session;
}

bool eventually(const std::function<bool()>& condition, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Watching starts before the first check, so that no change falls in between.
  std::vector<std::unique_ptr<x11::Connection>> watches;
  std::vector<pollfd> changed;
  for (const auto& display : liveDisplays) {
    if (auto x = x11::Connection::open(display.c_str())) {
      const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
      xcb_change_window_attributes(x->get(), x->root(), XCB_CW_EVENT_MASK, &events);
      xcb_flush(x->get());
      changed.push_back({xcb_get_file_descriptor(x->get()), POLLIN, 0});
      watches.push_back(std::move(x));
    }
  }
  while (!condition()) {
    // A lost display reports no more changes.
    for (size_t i = 0; i < watches.size(); ++i) changed[i].fd = watches[i]->broken() ? -1 : changed[i].fd;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || std::none_of(changed.begin(), changed.end(), [](const pollfd& p) { return p.fd >= 0; }) ||
        poll(changed.data(), changed.size(), static_cast<int>(left)) <= 0) {
      return condition();
    }
    for (const auto& x : watches) {
      while (xcb_generic_event_t* e = xcb_poll_for_event(x->get())) free(e);
    }
  }
  return true;
}

FakeApp::FakeApp(const XSession& session) {
  int control[2], report[2];
  if (pipe2(control, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  process_ = std::make_unique<Child>(
      std::vector<std::string>{binary("quorvane-fake-app"), "--control-fd", "3", "--report-fd", "4"},
      SpawnOptions{.env = {{"DISPLAY", session.display()}}, .extraFds = {{3, control[0]}, {4, report[1]}}});
  close(control[0]);
  close(report[1]);
  control_ = control[1];
  report_ = report[0];
}

FakeApp::~FakeApp() {
  close(control_);
  close(report_);
}

std::optional<std::string> FakeApp::exchange(const std::string& line, bool (*answers)(const std::string&),
                                             milliseconds timeout) {
  const std::string text = line + "\n";
  if (write(control_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (auto reply = takeLine(report_, buffer_,
                               std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()))) {
    if (answers(*reply)) return reply;
    logs_.push_back(*reply);
  }
  return std::nullopt;
}

std::optional<std::string> FakeApp::command(const std::string& line) {
  // Window logs may come in between; a reply is the first line that is not one.
  return exchange(line, [](const std::string& r) {
    return !r.starts_with("wheel ") && !r.starts_with("button ") && !r.starts_with("motion ");
  }, std::chrono::seconds(10));
}

std::optional<std::uint32_t> FakeApp::openWindow(const std::string& options) {
  auto reply = command("window " + options);
  if (!reply || !reply->starts_with("window ")) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(reply->substr(7)));
}

int FakeApp::run(const std::vector<std::string>& argv) {
  // Arguments travel separated by the ASCII unit separator, so they may hold blanks.
  std::string line = "run";
  for (const auto& a : argv) line += "\x1f" + a;
  auto reply = command(line);
  return reply && reply->starts_with("pid ") ? std::stoi(reply->substr(4)) : -1;
}

int FakeApp::waitHelper(milliseconds timeout) {
  auto reply = exchange("wait", [](const std::string& r) { return r.starts_with("exit "); }, timeout);
  return reply ? std::stoi(reply->substr(5)) : -1;
}

}  // namespace quorvane::test
