// quorvane-fake-app: stands in for the application (and for other programs)
// in end-to-end tests. It opens X windows with chosen properties and can start
// a helper as its own child, so the helper takes it for the application; the
// helper inherits this process's standard streams, which the test holds.
//
// Commands, one per line on --control-fd (default 0); replies and window logs
// on --report-fd (default 1):
//   window [title=T] [class=C] [x= y= w= h=] [color=RRGGBB] [opacity=F] [above=1] [log=1] [icons=1]
//          [type=normal|desktop|dock|utility|toolbar|menu|splash|dialog]  -> "window <id>" once mapped
//          (title=|T takes the rest of the line; icons=1: the stand-in for a file manager's desktop
//          icons, FF00FF squares down each monitor's left edge and one in its middle)
//   close|iconify <id>; move <id> X Y; todesktop <id> N; desktop N; sync   -> "ok"
//   run<US>ARG<US>ARG... (US = 0x1f; start a helper as child)              -> "pid <pid>"
//   wait (until that child ends)                                           -> "exit <status>"
//   quit
// A window with log=1 reports "wheel <id> <button> <rootX> <rootY>",
// "button <id> <button> <rootX> <rootY>" and "motion <id> <rootX> <rootY>".
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb_icccm.h>

#include "common/x11/connection.h"

namespace {

std::unique_ptr<quorvane::x11::Connection> x;
int reportFd = 1;
pid_t child = -1;
int childEnded = -1;                    // the helper's pidfd, readable once it has ended
std::vector<xcb_window_t> pendingMaps;  // windows whose "window <id>" reply waits for the map
std::set<xcb_window_t> logged;

void report(const std::string& line) { dprintf(reportFd, "%s\n", line.c_str()); }

void setProperty(xcb_window_t w, std::string_view name, xcb_atom_t type, std::uint8_t format,
                 const std::string& bytes) {
  xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, w, x->atom(name), type, format, bytes.size() * 8 / format,
                      bytes.data());
}

std::string bytesOf(std::uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

void clientMessage(xcb_window_t w, std::string_view type, std::vector<std::uint32_t> data) {
  xcb_client_message_event_t ev{XCB_CLIENT_MESSAGE, 32, 0, w, x->atom(type), {}};
  std::copy(data.begin(), data.end(), ev.data.data32);
  xcb_send_event(x->get(), 0, x->root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&ev));
}

// What follows a command's name.
struct Args {
  std::string rest;
  std::vector<std::string> words;  // the rest cut at blanks
  // A window id, desktop number or (negative) coordinate.
  std::uint32_t number(size_t i) const { return static_cast<std::uint32_t>(std::stoll(words.at(i))); }
};

void addIcons(xcb_window_t parent, int left, int top) {
  constexpr int kSize = 64, kPitch = 120, kMargin = 40;
  const std::uint32_t magenta = 0xFF00FF;
  auto square = [&](int rootX, int rootY) {
    xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, xcb_generate_id(x->get()), parent, std::int16_t(rootX - left),
                      std::int16_t(rootY - top), kSize, kSize, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL, &magenta);
  };
  for (const auto& m : quorvane::x11::monitors(*x)) {
    for (int i = 0; i < 4; ++i) square(m.x + kMargin, m.y + kMargin + i * kPitch);
    square(m.x + (int(m.width) - kSize) / 2, m.y + (int(m.height) - kSize) / 2);
  }
  xcb_map_subwindows(x->get(), parent);
}

void openWindow(const Args& args) {
  std::map<std::string, std::string> opt = {{"x", "100"}, {"y", "100"}, {"w", "300"}, {"h", "200"},
                                            {"color", "808080"}, {"title", "fake window"}, {"type", "normal"}};
  for (const auto& word : args.words) {
    if (auto eq = word.find('='); eq != std::string::npos) opt[word.substr(0, eq)] = word.substr(eq + 1);
  }
  // Titles with blanks: "title=" takes the rest after a literal "|".
  if (auto bar = args.rest.find('|'); bar != std::string::npos) opt["title"] = args.rest.substr(bar + 1);
  const int left = std::stoi(opt["x"]), top = std::stoi(opt["y"]), w = std::stoi(opt["w"]), h = std::stoi(opt["h"]);
  const bool log = opt["log"] == "1";

  const xcb_window_t win = xcb_generate_id(x->get());
  const std::uint32_t values[] = {static_cast<std::uint32_t>(std::stoul(opt["color"], nullptr, 16)),
                                  XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE |
                                      (log ? XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_POINTER_MOTION : 0u)};
  xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, win, x->root(), std::int16_t(left), std::int16_t(top),
                    std::uint16_t(w), std::uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, x->screen()->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  setProperty(win, "WM_NAME", XCB_ATOM_STRING, 8, opt["title"]);
  setProperty(win, "_NET_WM_NAME", x->atom("UTF8_STRING"), 8, opt["title"]);
  // WM_CLASS is instance NUL class NUL.
  const std::string& cls = opt["class"];
  setProperty(win, "WM_CLASS", XCB_ATOM_STRING, 8,
              cls.empty() ? std::string("fake-app\0FakeApp", 17) : cls + '\0' + cls + '\0');
  setProperty(win, "_NET_WM_PID", XCB_ATOM_CARDINAL, 32, bytesOf(std::uint32_t(getpid())));
  if (opt.count("opacity")) {
    setProperty(win, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, 32,
                bytesOf(std::uint32_t(std::stod(opt["opacity"]) * 0xFFFFFFFFu)));
  }
  std::string type = "_NET_WM_WINDOW_TYPE_";
  for (char c : opt["type"]) type += static_cast<char>(toupper(c));
  setProperty(win, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, 32, bytesOf(x->atom(type)));
  if (opt["above"] == "1")
    setProperty(win, "_NET_WM_STATE", XCB_ATOM_ATOM, 32, bytesOf(x->atom("_NET_WM_STATE_ABOVE")));
  // Ask the window manager to keep the position we chose.
  xcb_size_hints_t hints{};
  xcb_icccm_size_hints_set_position(&hints, 1, left, top);
  xcb_icccm_size_hints_set_size(&hints, 1, w, h);
  xcb_icccm_set_wm_normal_hints(x->get(), win, &hints);
  xcb_icccm_wm_hints_t wmHints{};
  xcb_icccm_wm_hints_set_input(&wmHints, 1);
  xcb_icccm_wm_hints_set_normal(&wmHints);
  xcb_icccm_set_wm_hints(x->get(), win, &wmHints);
  if (opt["icons"] == "1") addIcons(win, left, top);
  xcb_map_window(x->get(), win);
  if (log) logged.insert(win);
  pendingMaps.push_back(win);
}

// Answers the windows now viewable and, where a window manager runs, in its
// client list (it maps a window before it lists it). Asked rather than waited
// for: a MapNotify can pass by while we block in a reply.
void answerMappedWindows() {
  if (pendingMaps.empty()) return;
  const auto clients = quorvane::x11::cardinals(*x, x->root(), x->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
  std::erase_if(pendingMaps, [&](xcb_window_t w) {
    if (clients && std::find(clients->begin(), clients->end(), w) == clients->end()) return false;
    quorvane::x11::Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(x->get(), xcb_get_window_attributes(x->get(), w), nullptr));
    const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
    if (viewable) report("window " + std::to_string(w));
    return viewable;
  });
}

void logPointer(xcb_generic_event_t* ev) {
  const auto type = ev->response_type & 0x7f;
  auto* e = reinterpret_cast<xcb_button_press_event_t*>(ev);  // motion events share the layout
  if ((type != XCB_BUTTON_PRESS && type != XCB_MOTION_NOTIFY) || !logged.count(e->event)) return;
  const bool motion = type == XCB_MOTION_NOTIFY, wheel = e->detail >= 4 && e->detail <= 7;
  std::string line = motion ? "motion " : wheel ? "wheel " : "button ";
  line += std::to_string(e->event);
  if (!motion) line += ' ' + std::to_string(e->detail);
  line += ' ' + std::to_string(e->root_x) + ' ' + std::to_string(e->root_y);
  report(line);
}

void startHelper(const std::string& rest) {
  std::vector<std::string> args;
  std::istringstream parts(rest);
  for (std::string a; std::getline(parts, a, '\x1f');) {
    if (!a.empty()) args.push_back(a);
  }
  if (args.empty()) return report("error run needs a program");
  xcb_flush(x->get());
  child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  childEnded = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  report("pid " + std::to_string(child));
}

void reapChild() {
  int st;
  if (child <= 0 || waitpid(child, &st, WNOHANG) != child) return;
  child = -1;
  close(childEnded);
  childEnded = -1;
  report("exit " + std::to_string(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st)));
}

// Each command: what it does, and whether it answers "ok" after.
const std::map<std::string, std::pair<void (*)(const Args&), bool>> kCommands = {
    {"window", {openWindow, false}},
    {"close", {[](const Args& a) { xcb_destroy_window(x->get(), a.number(0)); }, true}},
    {"iconify",
     {[](const Args& a) { clientMessage(a.number(0), "WM_CHANGE_STATE", {XCB_ICCCM_WM_STATE_ICONIC}); }, true}},
    // Through the window manager, as a user's drag would end.
    {"move",
     {[](const Args& a) {
        clientMessage(a.number(0), "_NET_MOVERESIZE_WINDOW",
                      {(1u << 8) | (1u << 9) | (2u << 12), a.number(1), a.number(2)});
      },
      true}},
    {"todesktop",
     {[](const Args& a) {
        clientMessage(a.number(0), "_NET_WM_DESKTOP", {a.number(1), 2});
      },
      true}},
    {"desktop",
     {[](const Args& a) {
        clientMessage(x->root(), "_NET_CURRENT_DESKTOP", {a.number(0), XCB_CURRENT_TIME});
      },
      true}},
    {"run", {[](const Args& a) { startHelper(a.rest); }, false}},
    {"wait", {[](const Args&) {}, false}},  // the helper's end is reported whenever it comes
    {"sync",
     {[](const Args&) { free(xcb_get_input_focus_reply(x->get(), xcb_get_input_focus(x->get()), nullptr)); }, true}},
    {"quit", {[](const Args&) { exit(0); }, false}},
};

void command(const std::string& line) {
  const std::string verb = line.substr(0, line.find_first_of(" \x1f"));
  const auto it = kCommands.find(verb);
  if (it == kCommands.end()) return report("error unknown command " + verb);
  Args args{line.substr(verb.size()), {}};
  std::istringstream words(args.rest);
  for (std::string word; words >> word;) args.words.push_back(word);
  it->second.first(args);
  if (it->second.second) report("ok");
  xcb_flush(x->get());
}

}  // namespace

int main(int argc, char** argv) {
  int controlFd = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--control-fd") controlFd = std::atoi(argv[++i]);
    else if (std::string(argv[i]) == "--report-fd") reportFd = std::atoi(argv[++i]);
  }
  signal(SIGPIPE, SIG_IGN);
  x = quorvane::x11::Connection::open(getenv("DISPLAY"));
  if (!x) {
    fprintf(stderr, "fake-app: cannot connect to X\n");
    return 2;
  }
  // The window manager lists windows on the root: a pending reply waits for that change.
  const std::uint32_t rootEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x->get(), x->root(), XCB_CW_EVENT_MASK, &rootEvents);
  xcb_flush(x->get());

  // Once the test lets go of the control descriptor, a running helper is still waited for.
  for (std::string pending; controlFd >= 0 || child > 0;) {
    // Events that came in while we waited for a reply are already off the socket, in xcb's queue.
    xcb_generic_event_t* queued = xcb_poll_for_queued_event(x->get());
    pollfd fds[3] = {{xcb_get_file_descriptor(x->get()), POLLIN, 0}, {controlFd, POLLIN, 0}, {childEnded, POLLIN, 0}};
    poll(fds, 3, queued ? 0 : -1);
    for (auto* ev = queued ? queued : xcb_poll_for_event(x->get()); ev; ev = xcb_poll_for_event(x->get())) {
      logPointer(ev);
      free(ev);
    }
    if (x->broken()) return 3;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char buf[4096];
      const ssize_t n = read(controlFd, buf, sizeof buf);
      if (n <= 0) controlFd = -1;
      pending.append(buf, static_cast<size_t>(std::max<ssize_t>(n, 0)));
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
        command(pending.substr(0, nl));
    }
    answerMappedWindows();
    reapChild();
  }
  return 0;
}
