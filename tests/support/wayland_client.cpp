// A small Wayland client for end-to-end tests on sway.
//   quorvane-wayland-client [--icons RRGGBB] [--window APP_ID RRGGBB]
//     shows a background-layer surface of that colour on every output (the
//     stand-in for desktop icons) and/or a 400 x 300 window with that app_id;
//     prints "ready" once every surface has been presented, then stays until
//     standard input closes.
//   quorvane-wayland-client --pixels X,Y ...
//     reads the screen back with screencopy (no cursor) and prints the colour
//     at each global point as "RRGGBB", one line each.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/wayland/connection.h"
#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"
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
  std::unique_ptr<ShmBuffer> buffer;
  std::uint32_t color = 0;
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

// --- the shell globals the library's connection does not bind ---------------
xdg_wm_base* gWmBase = nullptr;

void bindShell(wl_display* display) {
  static const xdg_wm_base_listener pong = {[](void*, xdg_wm_base* b, std::uint32_t serial) {
    xdg_wm_base_pong(b, serial);
  }};
  static const wl_registry_listener listener = {
      [](void*, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
          gWmBase = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
          xdg_wm_base_add_listener(gWmBase, &pong, nullptr);
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

void addWindow(std::vector<std::unique_ptr<Surface>>& surfaces, const char* appId, std::uint32_t color) {
  if (!gWmBase) fail("no xdg_wm_base");
  auto s = std::make_unique<Surface>();
  s->color = color;
  s->surface = wl_compositor_create_surface(gConnection->compositor());
  xdg_surface* xs = xdg_wm_base_get_xdg_surface(gWmBase, s->surface);
  xdg_toplevel* top = xdg_surface_get_toplevel(xs);
  xdg_toplevel_set_app_id(top, appId);
  xdg_toplevel_set_title(top, appId);
  static const xdg_surface_listener listener = {[](void* data, xdg_surface* x, std::uint32_t serial) {
    xdg_surface_ack_configure(x, serial);
    fillAndCommit(*static_cast<Surface*>(data), 400, 300);
  }};
  xdg_surface_add_listener(xs, &listener, s.get());
  wl_surface_commit(s->surface);
  surfaces.push_back(std::move(s));
}

// --- reading pixels back ------------------------------------------------------
struct Capture {
  std::uint32_t format = 0, width = 0, height = 0, stride = 0, flags = 0;
  bool described = false, ready = false, failed = false;
};

std::unique_ptr<ShmBuffer> captureOutput(wl_output* output, Capture& c) {
  auto* frame = zwlr_screencopy_manager_v1_capture_output(gConnection->screencopy(), 0, output);
  static const zwlr_screencopy_frame_v1_listener listener = {
      [](void* d, zwlr_screencopy_frame_v1*, std::uint32_t f, std::uint32_t w, std::uint32_t h, std::uint32_t s) {
        auto* c = static_cast<Capture*>(d);
        if (f == WL_SHM_FORMAT_XRGB8888 || f == WL_SHM_FORMAT_ARGB8888) *c = {f, w, h, s, 0, true};
      },
      [](void* d, zwlr_screencopy_frame_v1*, std::uint32_t flags) { static_cast<Capture*>(d)->flags = flags; },
      [](void* d, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
        static_cast<Capture*>(d)->ready = true;
      },
      [](void* d, zwlr_screencopy_frame_v1*) { static_cast<Capture*>(d)->failed = true; },
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
      [](void*, zwlr_screencopy_frame_v1*) {}};
  zwlr_screencopy_frame_v1_add_listener(frame, &listener, &c);
  // Version 1 describes the buffer right away; later ones end the list with buffer_done.
  if (wl_display_roundtrip(gConnection->display()) < 0 || !c.described) fail("no shm buffer offered");
  auto buffer = ShmBuffer::create(gConnection->shm(), c.width, c.height, c.stride, c.format);
  if (!buffer) fail("no memory");
  zwlr_screencopy_frame_v1_copy(frame, buffer->buffer());
  while (!c.ready && !c.failed) {
    if (wl_display_dispatch(gConnection->display()) < 0) fail("connection lost");
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  if (c.failed) fail("copy failed");
  return buffer;
}

int printPixels(int argc, char** argv) {
  if (!gConnection->screencopy()) fail("no screencopy");
  for (int i = 2; i < argc; ++i) {
    int x = 0, y = 0;
    if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2) fail("bad point");
    const quorvane::wayland::Output* on = nullptr;
    for (const auto& o : gConnection->outputs()) {
      if (x >= o->x && y >= o->y && x < o->x + o->logicalWidth && y < o->y + o->logicalHeight) on = o.get();
    }
    if (!on) fail("point on no output");
    Capture c;
    auto shot = captureOutput(on->output, c);
    std::uint32_t px = static_cast<std::uint32_t>(x - on->x), py = static_cast<std::uint32_t>(y - on->y);
    if (c.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) py = c.height - 1 - py;
    std::uint32_t value;
    std::memcpy(&value, shot->data() + std::size_t{py} * c.stride + std::size_t{px} * 4, 4);
    std::printf("%06X\n", value & 0xFFFFFF);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  auto connection = Connection::open();
  if (!connection) fail("no compositor");
  gConnection = connection.get();
  if (argc >= 2 && std::strcmp(argv[1], "--pixels") == 0) return printPixels(argc, argv);

  bindShell(connection->display());
  std::vector<std::unique_ptr<Surface>> surfaces;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--icons" && i + 1 < argc) {
      addIcons(surfaces, static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16)));
    } else if (arg == "--window" && i + 2 < argc) {
      const char* appId = argv[++i];
      addWindow(surfaces, appId, static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 16)));
    } else {
      fail("usage: [--icons RRGGBB] [--window APP_ID RRGGBB] | --pixels X,Y ...");
    }
  }
  wl_display* d = connection->display();
  bool announced = false;
  for (;;) {
    bool all = true;
    for (const auto& s : surfaces) all = all && s->presented;
    if (all && !announced) {
      announced = true;
      std::printf("ready\n");
      std::fflush(stdout);
    }
    wl_display_flush(d);
    pollfd fds[2] = {{wl_display_get_fd(d), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    poll(fds, 2, -1);
    if (fds[1].revents) {
      char byte;
      if (read(STDIN_FILENO, &byte, 1) <= 0) return 0;
    }
    if (fds[0].revents & POLLIN) {
      if (wl_display_dispatch(d) < 0) return 1;
    } else if (fds[0].revents) {
      return 1;
    }
  }
}
