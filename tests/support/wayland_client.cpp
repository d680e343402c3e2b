// A small Wayland client for end-to-end tests on sway and KWin.
//   quorvane-wayland-client [--icons RRGGBB] [--window APP_ID RRGGBB] [--desktop RRGGBB] [--pointer]
//                           [--run PROGRAM ARG...]
//     shows a background-layer surface of that colour on every output (the
//     stand-in for desktop icons) and/or a window with that app_id (400 x 300
//     floating, or the size the compositor gives it) and/or, on KWin, a window
//     in Plasma's desktop role as large as the first output (the stand-in for
//     Plasma's desktop); once every surface has been presented, prints "ready"
//     and stays until standard input closes, or with --run starts PROGRAM as
//     its child on its own standard streams (the window is then the child's
//     parent's, as an application's is) and ends with the child's exit status.
//     With --pointer (not with --run) it prints what the pointer does over its
//     surfaces, one line each, surface-local:
//       enter APP_ID X Y | motion X Y | button CODE 1|0 | axis AXIS VALUE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common/wayland/connection.h"
#include "common/wayland/protocols/plasma-shell-client.h"
#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "common/wayland/protocols/xdg-shell-client.h"
#include "common/wayland/shm.h"

namespace {

using quorvane::wayland::Connection;
using quorvane::wayland::ShmBuffer;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "quorvane-wayland-client: %s\n", what);
  std::exit(2);
}

struct Surface {
  wl_surface* surface = nullptr;
  std::string name;  // the app_id, for the pointer's reports
  std::unique_ptr<ShmBuffer> buffer;
  std::uint32_t color = 0;
  std::uint32_t width = 400, height = 300;  // a window's, until sway sizes it
  bool presented = false;
};

Connection* gConnection = nullptr;

void fillAndCommit(Surface& s, std::uint32_t width, std::uint32_t height) {
  if (!s.buffer || s.buffer->width() != width || s.buffer->height() != height) {
    s.buffer = ShmBuffer::create(gConnection->shm(), width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    if (!s.buffer) fail("no buffer");
    auto* px = reinterpret_cast<std::uint32_t*>(s.buffer->data());
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) px[i] = s.color;
  }
  wl_surface_attach(s.surface, s.buffer->buffer(), 0, 0);
  wl_surface_damage_buffer(s.surface, 0, 0, INT32_MAX, INT32_MAX);
  static const wl_callback_listener presented = {[](void* data, wl_callback* cb, std::uint32_t) {
    static_cast<Surface*>(data)->presented = true;
    wl_callback_destroy(cb);
  }};
  wl_callback_add_listener(wl_surface_frame(s.surface), &presented, &s);
  wl_surface_commit(s.surface);
}

// --- the pointer's reports --------------------------------------------------
void say(const char* format, auto... values) {
  std::printf(format, values...);
  std::fflush(stdout);
}

const wl_pointer_listener kPointerReports = {
    [](void*, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
      const auto* s = surface ? static_cast<const Surface*>(wl_surface_get_user_data(surface)) : nullptr;
      say("enter %s %d %d\n", s ? s->name.c_str() : "?", wl_fixed_to_int(x), wl_fixed_to_int(y));
    },
    [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
    [](void*, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
      say("motion %d %d\n", wl_fixed_to_int(x), wl_fixed_to_int(y));
    },
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
      say("button %u %u\n", button, state);
    },
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t axis, wl_fixed_t value) {
      say("axis %u %g\n", axis, wl_fixed_to_double(value));
    },
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    nullptr};  // axis_value120 comes with wl_seat 8; we bind 5

// A pointer appears once some device has one (on KWin: a fake input client).
const wl_seat_listener kSeatListener = {
    [](void*, wl_seat* seat, std::uint32_t caps) {
      static wl_pointer* pointer = nullptr;
      if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer) {
        pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(pointer, &kPointerReports, nullptr);
      }
    },
    [](void*, wl_seat*, const char*) {}};

// --- the shell globals the library's connection does not bind ---------------
xdg_wm_base* gWmBase = nullptr;
org_kde_plasma_shell* gPlasmaShell = nullptr;
bool gReportPointer = false;

void bindShell(wl_display* display) {
  static const xdg_wm_base_listener pong = {[](void*, xdg_wm_base* b, std::uint32_t serial) {
    xdg_wm_base_pong(b, serial);
  }};
  static const wl_registry_listener listener = {
      [](void*, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
          gWmBase = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
          xdg_wm_base_add_listener(gWmBase, &pong, nullptr);
        } else if (std::strcmp(interface, org_kde_plasma_shell_interface.name) == 0) {
          gPlasmaShell =
              static_cast<org_kde_plasma_shell*>(wl_registry_bind(r, name, &org_kde_plasma_shell_interface, 5));
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && gReportPointer) {
          auto* seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 5));
          wl_seat_add_listener(seat, &kSeatListener, nullptr);
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry_add_listener(wl_display_get_registry(display), &listener, nullptr);
  wl_display_roundtrip(display);
}

void addIcons(std::vector<std::unique_ptr<Surface>>& surfaces, std::uint32_t color) {
  if (!gConnection->layerShell()) fail("no layer shell");
  for (const auto& o : gConnection->outputs()) {
    auto s = std::make_unique<Surface>();
    s->color = color;
    s->surface = wl_compositor_create_surface(gConnection->compositor());
    auto* layer = zwlr_layer_shell_v1_get_layer_surface(gConnection->layerShell(), s->surface, o->output,
                                                        ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "test-icons");
    zwlr_layer_surface_v1_set_anchor(layer, 15);
    zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
    static const zwlr_layer_surface_v1_listener listener = {
        [](void* data, zwlr_layer_surface_v1* l, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
          zwlr_layer_surface_v1_ack_configure(l, serial);
          fillAndCommit(*static_cast<Surface*>(data), w, h);
        },
        [](void*, zwlr_layer_surface_v1*) {}};
    zwlr_layer_surface_v1_add_listener(layer, &listener, s.get());
    wl_surface_commit(s->surface);
    surfaces.push_back(std::move(s));
  }
}

void addWindow(std::vector<std::unique_ptr<Surface>>& surfaces, const char* appId, std::uint32_t color,
               bool desktop = false) {
  if (!gWmBase) fail("no xdg_wm_base");
  auto s = std::make_unique<Surface>();
  s->color = color;
  s->name = appId;
  s->surface = wl_compositor_create_surface(gConnection->compositor());
  wl_surface_set_user_data(s->surface, s.get());
  if (desktop) {
    if (!gPlasmaShell || gConnection->outputs().empty()) fail("no Plasma shell");
    const auto& output = *gConnection->outputs().front();
    s->width = output.pixelWidth();
    s->height = output.pixelHeight();
    // As Plasma's own desktop view is: off the taskbar and the window switcher.
    auto* plasma = org_kde_plasma_shell_get_surface(gPlasmaShell, s->surface);
    org_kde_plasma_surface_set_role(plasma, ORG_KDE_PLASMA_SURFACE_ROLE_DESKTOP);
    org_kde_plasma_surface_set_skip_taskbar(plasma, 1);
    org_kde_plasma_surface_set_skip_switcher(plasma, 1);
  }
  xdg_surface* xs = xdg_wm_base_get_xdg_surface(gWmBase, s->surface);
  xdg_toplevel* top = xdg_surface_get_toplevel(xs);
  xdg_toplevel_set_app_id(top, appId);
  xdg_toplevel_set_title(top, appId);
  static const xdg_toplevel_listener sized = {
      [](void* data, xdg_toplevel*, std::int32_t w, std::int32_t h, wl_array*) {
        auto* s = static_cast<Surface*>(data);
        if (w > 0 && h > 0) s->width = std::uint32_t(w), s->height = std::uint32_t(h);
      },
      [](void*, xdg_toplevel*) {}, nullptr, nullptr};
  xdg_toplevel_add_listener(top, &sized, s.get());
  static const xdg_surface_listener listener = {[](void* data, xdg_surface* x, std::uint32_t serial) {
    xdg_surface_ack_configure(x, serial);
    auto* s = static_cast<Surface*>(data);
    fillAndCommit(*s, s->width, s->height);
  }};
  xdg_surface_add_listener(xs, &listener, s.get());
  wl_surface_commit(s->surface);
  surfaces.push_back(std::move(s));
}

// Ends with the child's status once it has ended, and adds nothing to the
// standard error it shares: no tear-down, so no leak report of a sanitizer
// build either.
[[noreturn]] void exitAsChild(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

}  // namespace

int main(int argc, char** argv) {
  auto connection = Connection::open();
  if (!connection) fail("no compositor");
  gConnection = connection.get();
  for (int i = 1; i < argc && std::strcmp(argv[i], "--run") != 0; ++i) {
    gReportPointer |= std::strcmp(argv[i], "--pointer") == 0;
  }
  bindShell(connection->display());
  std::vector<std::unique_ptr<Surface>> surfaces;
  char** program = nullptr;
  for (int i = 1; i < argc && !program; ++i) {
    std::string arg = argv[i];
    if (arg == "--icons" && i + 1 < argc) {
      addIcons(surfaces, static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16)));
    } else if (arg == "--window" && i + 2 < argc) {
      const char* appId = argv[++i];
      addWindow(surfaces, appId, static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16)));
    } else if (arg == "--desktop" && i + 1 < argc) {
      addWindow(surfaces, "test-desktop", static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16)), true);
    } else if (arg == "--pointer") {
    } else if (arg == "--run" && i + 1 < argc) {
      program = argv + i + 1;
    } else {
      fail("usage: [--icons RRGGBB] [--window APP_ID RRGGBB] [--desktop RRGGBB] [--pointer] "
           "[--run PROGRAM ARG...]");
    }
  }
  wl_display* d = connection->display();
  int childEnded = -1;  // the child's pidfd, readable once it has ended
  pid_t child = -1;
  for (bool announced = false;;) {
    bool all = true;
    for (const auto& s : surfaces) all = all && s->presented;
    if (all && !announced) {
      announced = true;
      if (program) {
        child = fork();
        if (child == 0) {
          execvp(program[0], program);
          _exit(127);
        }
        childEnded = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
      } else {
        std::printf("ready\n");
        std::fflush(stdout);
      }
    }
    wl_display_flush(d);
    // Standard input is the child's once it runs.
    pollfd fds[2] = {{wl_display_get_fd(d), POLLIN, 0}, {program ? childEnded : STDIN_FILENO, POLLIN, 0}};
    poll(fds, 2, -1);
    if (program && fds[1].revents) exitAsChild(child);
    if (!program && fds[1].revents) {
      char byte;
      if (read(STDIN_FILENO, &byte, 1) <= 0) return 0;
    }
    // The compositor gone: a child ends as it will.
    if ((fds[0].revents & POLLIN) ? wl_display_dispatch(d) < 0 : fds[0].revents != 0) {
      if (child > 0) exitAsChild(child);
      return 1;
    }
  }
}
