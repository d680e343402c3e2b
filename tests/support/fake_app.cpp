// quorvane-fake-app: stands in for the application (and for other programs)
// in end-to-end tests. It opens X windows with chosen properties and can start
// a helper as its own child, so the helper takes it for the application; the
// helper inherits this process's standard streams, which the test holds.
//
// Commands arrive one per line on the control descriptor (--control-fd, default
// 0); replies and window logs leave on the report descriptor (--report-fd,
// default 1):
//   window [title=T] [class=C] [x= y= w= h=] [color=RRGGBB] [opacity=F]
//          [type=normal|desktop|dock|utility|toolbar|menu|splash|dialog]
//          [hidden=1] [above=1] [below=1] [sticky=1] [desktop=N] [pid=N|none]
//          [override=1] [log=1] [input=0]               -> "window <id>"
//   close|raise|iconify|activate <id>; move <id> X Y; resize <id> W H
//   todesktop <id> N (send a window to desktop N)        -> "ok"
//   desktop N (switch the current desktop)              -> "ok"
//   run<US>ARG<US>ARG... (US = 0x1f; start a helper as child)             -> "pid <pid>"
//   wait        (until that child ends)                 -> "exit <status>"
//   sync                                                -> "ok"
//   quit
// A window with log=1 reports "wheel <id> <button> <rootX> <rootY>",
// "button <id> <button> <rootX> <rootY>" and "motion <id> <rootX> <rootY>".
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

namespace {

xcb_connection_t* conn;
xcb_screen_t* screen;
int reportFd = 1;
pid_t child = -1;
bool waitingForChild = false;
int childEnded = -1;  // readable once the helper has ended

xcb_atom_t atom(const char* name) {
  auto* r = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, strlen(name), name), nullptr);
  xcb_atom_t a = r ? r->atom : XCB_NONE;
  free(r);
  return a;
}

void report(const std::string& line) {
  std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(reportFd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

struct Pending {
  xcb_window_t window;
  bool iconic;
  bool managed;  // a window manager will list it in _NET_CLIENT_LIST
};
std::vector<Pending> pendingMaps;  // windows whose "window <id>" reply waits for the map
std::map<xcb_window_t, bool> logged;

void setCardinal(xcb_window_t w, const char* name, uint32_t value) {
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, w, atom(name), XCB_ATOM_CARDINAL, 32, 1, &value);
}

void setAtoms(xcb_window_t w, const char* name, const std::vector<xcb_atom_t>& values) {
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, w, atom(name), XCB_ATOM_ATOM, 32, values.size(), values.data());
}

void clientMessage(xcb_window_t w, xcb_atom_t type, std::vector<uint32_t> data) {
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = w;
  ev.type = type;
  for (size_t i = 0; i < data.size() && i < 5; ++i) ev.data.data32[i] = data[i];
  xcb_send_event(conn, 0, screen->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&ev));
}

void openWindow(const std::map<std::string, std::string>& opt) {
  auto get = [&](const char* k, const char* def) {
    auto it = opt.find(k);
    return it == opt.end() ? std::string(def) : it->second;
  };
  int x = std::stoi(get("x", "100")), y = std::stoi(get("y", "100"));
  int w = std::stoi(get("w", "300")), h = std::stoi(get("h", "200"));
  uint32_t color = static_cast<uint32_t>(std::stoul(get("color", "808080"), nullptr, 16));
  bool override = get("override", "0") == "1";
  bool log = get("log", "0") == "1";

  xcb_window_t win = xcb_generate_id(conn);
  uint32_t mask = XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
  uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  if (log) events |= XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_POINTER_MOTION;
  uint32_t values[] = {color, override ? 1u : 0u, events};
  xcb_create_window(conn, XCB_COPY_FROM_PARENT, win, screen->root, static_cast<int16_t>(x), static_cast<int16_t>(y),
                    static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, mask, values);

  std::string title = get("title", "fake window");
  xcb_icccm_set_wm_name(conn, win, XCB_ATOM_STRING, 8, title.size(), title.data());
  xcb_change_property(conn, XCB_PROP_MODE_REPLACE, win, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, title.size(),
                      title.data());
  if (opt.count("class")) {
    // WM_CLASS is instance NUL class NUL; "class=-" leaves the property out.
    std::string cls = get("class", "");
    if (cls != "-") {
      std::string both = cls + '\0' + cls + '\0';
      xcb_change_property(conn, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, both.size(),
                          both.data());
    }
  } else {
    const char both[] = "fake-app\0FakeApp";
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof both,
                        both);
  }
  std::string pid = get("pid", std::to_string(getpid()).c_str());
  if (pid != "none") setCardinal(win, "_NET_WM_PID", static_cast<uint32_t>(std::stoul(pid)));
  if (opt.count("opacity")) {
    double o = std::stod(get("opacity", "1"));
    setCardinal(win, "_NET_WM_WINDOW_OPACITY", static_cast<uint32_t>(o * 0xFFFFFFFFu));
  }
  std::string type = get("type", "normal");
  std::string typeAtom = "_NET_WM_WINDOW_TYPE_";
  for (char c : type) typeAtom += static_cast<char>(toupper(c));
  setAtoms(win, "_NET_WM_WINDOW_TYPE", {atom(typeAtom.c_str())});
  std::vector<xcb_atom_t> states;
  if (get("above", "0") == "1") states.push_back(atom("_NET_WM_STATE_ABOVE"));
  if (get("below", "0") == "1") states.push_back(atom("_NET_WM_STATE_BELOW"));
  if (get("sticky", "0") == "1") states.push_back(atom("_NET_WM_STATE_STICKY"));
  if (!states.empty()) setAtoms(win, "_NET_WM_STATE", states);
  if (opt.count("desktop")) setCardinal(win, "_NET_WM_DESKTOP", static_cast<uint32_t>(std::stoul(get("desktop", "0"))));

  // Ask the window manager to keep the position we chose.
  xcb_size_hints_t hints{};
  xcb_icccm_size_hints_set_position(&hints, 1, x, y);
  xcb_icccm_size_hints_set_size(&hints, 1, w, h);
  xcb_icccm_set_wm_normal_hints(conn, win, &hints);
  bool hidden = get("hidden", "0") == "1";
  xcb_icccm_wm_hints_t wmHints{};
  xcb_icccm_wm_hints_set_input(&wmHints, get("input", "1") == "1");
  if (hidden) xcb_icccm_wm_hints_set_iconic(&wmHints);
  else xcb_icccm_wm_hints_set_normal(&wmHints);
  xcb_icccm_set_wm_hints(conn, win, &wmHints);

  xcb_map_window(conn, win);
  xcb_flush(conn);
  if (log) logged[win] = true;
  // Iconic windows and windows on another desktop never become viewable: the
  // window manager's WM_STATE says they are managed.
  pendingMaps.push_back({win, (hidden || opt.count("desktop")) && !override, !override});
}

void answerMapped(xcb_window_t win) {
  for (auto it = pendingMaps.begin(); it != pendingMaps.end(); ++it) {
    if (it->window == win) {
      pendingMaps.erase(it);
      report("window " + std::to_string(win));
      return;
    }
  }
}

// Answers windows that are now viewable (or iconic with WM_STATE set). Asked
// rather than waited for: a MapNotify can pass by while we block in a reply.
// The window manager's client list, or nothing when no window manager runs.
std::optional<std::vector<xcb_window_t>> clientList() {
  auto* r = xcb_get_property_reply(
      conn, xcb_get_property(conn, 0, screen->root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 65536), nullptr);
  std::optional<std::vector<xcb_window_t>> list;
  if (r && r->type == XCB_ATOM_WINDOW && r->format == 32) {
    auto* v = static_cast<xcb_window_t*>(xcb_get_property_value(r));
    list.emplace(v, v + xcb_get_property_value_length(r) / 4);
  }
  free(r);
  return list;
}

void checkPendingMaps() {
  if (pendingMaps.empty()) return;
  std::vector<xcb_window_t> ready;
  // The window manager maps a window before it lists it: answer once both are done.
  auto clients = clientList();
  auto listed = [&](const Pending& p) {
    return !p.managed || !clients || std::find(clients->begin(), clients->end(), p.window) != clients->end();
  };
  for (const auto& p : pendingMaps) {
    if (!listed(p)) continue;
    if (p.iconic) {
      auto* r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, p.window, atom("WM_STATE"), XCB_ATOM_ANY, 0, 2),
                                       nullptr);
      if (r && xcb_get_property_value_length(r) > 0) ready.push_back(p.window);
      free(r);
    } else {
      auto* r = xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, p.window), nullptr);
      if (r && r->map_state == XCB_MAP_STATE_VIEWABLE) ready.push_back(p.window);
      free(r);
    }
  }
  for (auto w : ready) answerMapped(w);
}

void handleEvent(xcb_generic_event_t* ev) {
  switch (ev->response_type & 0x7f) {
    case XCB_BUTTON_PRESS: {
      auto* e = reinterpret_cast<xcb_button_press_event_t*>(ev);
      if (!logged.count(e->event)) break;
      bool wheel = e->detail >= 4 && e->detail <= 7;
      report(std::string(wheel ? "wheel " : "button ") + std::to_string(e->event) + " " + std::to_string(e->detail) +
             " " + std::to_string(e->root_x) + " " + std::to_string(e->root_y));
      break;
    }
    case XCB_MOTION_NOTIFY: {
      auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(ev);
      if (!logged.count(e->event)) break;
      report("motion " + std::to_string(e->event) + " " + std::to_string(e->root_x) + " " +
             std::to_string(e->root_y));
      break;
    }
    default:
      break;
  }
}

xcb_window_t windowArg(std::istringstream& in) {
  std::string s;
  in >> s;
  return static_cast<xcb_window_t>(std::stoul(s));
}

void startHelper(const std::string& line) {
  std::vector<std::string> args;
  std::istringstream rest(line);
  for (std::string a; std::getline(rest, a, '\x1f');) {
    if (!a.empty()) args.push_back(a);
  }
  if (args.empty()) return report("error run needs a program");
  xcb_flush(conn);
  child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  childEnded = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  report("pid " + std::to_string(child));
}

// Each command: what it does with the rest of its line. Those answering "ok" say so after it.
using Command = void (*)(std::istringstream& in, const std::string& rest);
const std::map<std::string, std::pair<Command, bool>> kCommands = {
    {"window", {[](std::istringstream& in, const std::string& rest) {
       std::map<std::string, std::string> opt;
       for (std::string word; in >> word;) {
         auto eq = word.find('=');
         if (eq != std::string::npos) opt[word.substr(0, eq)] = word.substr(eq + 1);
       }
       // Titles with blanks: "title=" takes the rest after a literal "|".
       if (auto bar = rest.find('|'); bar != std::string::npos) opt["title"] = rest.substr(bar + 1);
       openWindow(opt);
     }, false}},
    {"close", {[](std::istringstream& in, const std::string&) { xcb_destroy_window(conn, windowArg(in)); }, true}},
    {"raise", {[](std::istringstream& in, const std::string&) {
       uint32_t v = XCB_STACK_MODE_ABOVE;
       xcb_configure_window(conn, windowArg(in), XCB_CONFIG_WINDOW_STACK_MODE, &v);
     }, true}},
    {"iconify", {[](std::istringstream& in, const std::string&) {
       clientMessage(windowArg(in), atom("WM_CHANGE_STATE"), {XCB_ICCCM_WM_STATE_ICONIC});
     }, true}},
    {"activate", {[](std::istringstream& in, const std::string&) {
       clientMessage(windowArg(in), atom("_NET_ACTIVE_WINDOW"), {2, XCB_CURRENT_TIME, 0});
     }, true}},
    {"move", {[](std::istringstream& in, const std::string&) {
       xcb_window_t w = windowArg(in);
       int32_t x, y;
       in >> x >> y;
       // Through the window manager, as a user's drag would end.
       clientMessage(w, atom("_NET_MOVERESIZE_WINDOW"), {(1u << 8) | (1u << 9) | (2u << 12), uint32_t(x), uint32_t(y), 0, 0});
     }, true}},
    {"resize", {[](std::istringstream& in, const std::string&) {
       xcb_window_t w = windowArg(in);
       uint32_t v[2];
       in >> v[0] >> v[1];
       xcb_configure_window(conn, w, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, v);
     }, true}},
    {"todesktop", {[](std::istringstream& in, const std::string&) {
       xcb_window_t w = windowArg(in);
       uint32_t n;
       in >> n;
       clientMessage(w, atom("_NET_WM_DESKTOP"), {n, 2});
     }, true}},
    {"desktop", {[](std::istringstream& in, const std::string&) {
       uint32_t n;
       in >> n;
       clientMessage(screen->root, atom("_NET_CURRENT_DESKTOP"), {n, XCB_CURRENT_TIME});
     }, true}},
    {"run", {[](std::istringstream&, const std::string& rest) { startHelper(rest); }, false}},
    {"wait", {[](std::istringstream&, const std::string&) { waitingForChild = true; }, false}},
    {"sync", {[](std::istringstream&, const std::string&) {
       free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
     }, true}},
    {"quit", {[](std::istringstream&, const std::string&) { exit(0); }, false}},
};

void command(const std::string& line) {
  std::string verb = line.substr(0, line.find_first_of(" \x1f"));
  const std::string rest = line.substr(verb.size());
  auto it = kCommands.find(verb);
  if (it == kCommands.end()) return report("error unknown command " + verb);
  std::istringstream in(rest);
  it->second.first(in, rest);
  if (it->second.second) report("ok");
  xcb_flush(conn);
}

void reapChild() {
  if (child <= 0) return;
  int st;
  if (waitpid(child, &st, WNOHANG) == child) {
    int code = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    child = -1;
    if (childEnded >= 0) close(childEnded);
    childEnded = -1;
    report("exit " + std::to_string(code));
    waitingForChild = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  int controlFd = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--control-fd") controlFd = std::atoi(argv[++i]);
    else if (std::string(argv[i]) == "--report-fd") reportFd = std::atoi(argv[++i]);
  }
  signal(SIGPIPE, SIG_IGN);
  conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(conn)) {
    fprintf(stderr, "fake-app: cannot connect to X\n");
    return 2;
  }
  screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
  // The window manager lists windows on the root: a pending reply waits for that change.
  const uint32_t rootEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(conn, screen->root, XCB_CW_EVENT_MASK, &rootEvents);
  xcb_flush(conn);

  std::string pending;
  for (;;) {
    // Events that arrived while we waited for a reply are already read from the socket.
    int timeout = -1;
    if (xcb_generic_event_t* queued = xcb_poll_for_queued_event(conn)) {
      handleEvent(queued);
      free(queued);
      timeout = 0;
    }
    if (child > 0 && childEnded < 0) timeout = 20;  // no pidfd: look again shortly
    pollfd fds[3] = {{xcb_get_file_descriptor(conn), POLLIN, 0}, {controlFd, POLLIN, 0}, {childEnded, POLLIN, 0}};
    poll(fds, 3, timeout);
    while (xcb_generic_event_t* ev = xcb_poll_for_event(conn)) {
      handleEvent(ev);
      free(ev);
    }
    if (xcb_connection_has_error(conn)) return 3;
    if (controlFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
      char buf[4096];
      ssize_t n = read(controlFd, buf, sizeof buf);
      if (n <= 0) {
        // The test let go of us: end, and take a running helper along only if it is still ours to wait for.
        controlFd = -1;
        if (child <= 0) return 0;
      } else {
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
          std::string line = pending.substr(0, nl);
          pending.erase(0, nl + 1);
          command(line);
        }
      }
    }
    checkPendingMaps();
    reapChild();
    if (controlFd < 0 && child <= 0) return 0;
  }
}
