#include "common/wayland/connection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "common/wayland/dispatch.h"
#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"
#include "common/wayland/protocols/wlr-virtual-pointer-unstable-v1-client.h"
#include "common/wayland/protocols/xdg-output-unstable-v1-client.h"

namespace quorvane::wayland {

namespace {

// The versions whose events our listeners handle, or that requests need.
constexpr std::uint32_t kCompositorVersion = 4;
constexpr std::uint32_t kOutputVersion = 4;
constexpr std::uint32_t kXdgOutputVersion = 3;
constexpr std::uint32_t kLayerShellVersion = 4;
constexpr std::uint32_t kScreencopyVersion = 3;
// The session's compositor, connected by the deadline. libwayland's own
// connect would wait for ever on a compositor that takes no connection.
wl_display* connectDisplay(Deadline deadline) {
  // A socket handed down by whoever started us is already connected.
  if (std::getenv("WAYLAND_SOCKET")) return wl_display_connect(nullptr);
  auto path = posix::waylandSocketPath([](const char* name) { return std::getenv(name); });
  int fd = path ? posix::connectSocket(*path, deadline) : -1;
  if (fd < 0) return nullptr;
  wl_display* display = wl_display_connect_to_fd(fd);
  if (!display) close(fd);
  return display;
}

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

bool turned(std::int32_t transform) {
  // 90 and 270 degrees, flipped or not, swap the mode's sides.
  return transform == WL_OUTPUT_TRANSFORM_90 || transform == WL_OUTPUT_TRANSFORM_270 ||
         transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 || transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

}  // namespace

std::uint32_t Output::pixelWidth() const {
  return static_cast<std::uint32_t>(std::max(0, turned(transform) ? modeHeight : modeWidth));
}
std::uint32_t Output::pixelHeight() const {
  return static_cast<std::uint32_t>(std::max(0, turned(transform) ? modeWidth : modeHeight));
}

// Listener tables: the library calls through them with the Output as data.
struct OutputEvents {
  static void geometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                       std::int32_t, const char*, const char*, std::int32_t transform) {
    auto* o = static_cast<Output*>(data);
    if (!o->xdgOutput) {
      o->x = x;
      o->y = y;
    }
    o->transform = transform;
  }
  static void mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
                   std::int32_t) {
    auto* o = static_cast<Output*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
      o->modeWidth = width;
      o->modeHeight = height;
    }
  }
  static void done(void* data, wl_output*) {
    auto* o = static_cast<Output*>(data);
    o->done = true;
    if (!o->xdgOutput) {
      o->logicalWidth = static_cast<std::int32_t>(o->pixelWidth()) / std::max(1, o->scale);
      o->logicalHeight = static_cast<std::int32_t>(o->pixelHeight()) / std::max(1, o->scale);
    }
    ownerOf(o)->outputChanged(*o);
  }
  static void scale(void* data, wl_output*, std::int32_t factor) { static_cast<Output*>(data)->scale = factor; }
  static void name(void* data, wl_output*, const char* text) {
    auto* o = static_cast<Output*>(data);
    if (o->name.empty()) o->name = text;
  }
  static void description(void*, wl_output*, const char*) {}

  static void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    auto* o = static_cast<Output*>(data);
    o->x = x;
    o->y = y;
  }
  static void logicalSize(void* data, zxdg_output_v1*, std::int32_t w, std::int32_t h) {
    auto* o = static_cast<Output*>(data);
    o->logicalWidth = w;
    o->logicalHeight = h;
  }
  static void xdgDone(void*, zxdg_output_v1*) {}  // wl_output.done closes each change
  static void xdgName(void* data, zxdg_output_v1*, const char* text) { static_cast<Output*>(data)->name = text; }
  static void xdgDescription(void*, zxdg_output_v1*, const char*) {}

  static Connection* ownerOf(Output* o) { return o->owner; }
};

namespace {

const wl_output_listener kOutputListener = {OutputEvents::geometry, OutputEvents::mode,  OutputEvents::done,
                                            OutputEvents::scale,    OutputEvents::name, OutputEvents::description};
const zxdg_output_v1_listener kXdgOutputListener = {OutputEvents::logicalPosition, OutputEvents::logicalSize,
                                                    OutputEvents::xdgDone, OutputEvents::xdgName,
                                                    OutputEvents::xdgDescription};

}  // namespace

std::unique_ptr<Connection> Connection::open(Deadline deadline) {
  wl_display* display = connectDisplay(deadline);
  if (!display) return nullptr;
  std::unique_ptr<Connection> c(new Connection(display));
  c->registry_ = wl_display_get_registry(display);
  static const wl_registry_listener listener = {global, globalRemove};
  wl_registry_add_listener(c->registry_, &listener, c.get());
  // Globals, then the outputs' descriptions (which need the xdg-output manager).
  // A socket that takes the connection but never answers is no compositor.
  if (!c->roundtrip(deadline)) return nullptr;
  for (auto& o : c->outputs_) c->describe(*o);
  if (!c->roundtrip(deadline)) return nullptr;
  c->settled_ = true;
  return c;
}

Connection::~Connection() {
  for (auto& o : outputs_) {
    if (o->xdgOutput) zxdg_output_v1_destroy(o->xdgOutput);
    wl_output_destroy(o->output);
  }
  if (xdgOutputManager_) zxdg_output_manager_v1_destroy(xdgOutputManager_);
  if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
  if (virtualPointers_) zwlr_virtual_pointer_manager_v1_destroy(virtualPointers_);
  if (seat_) wl_seat_destroy(seat_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

const Output* Connection::output(std::uint32_t id) const {
  for (const auto& o : outputs_) {
    if (o->id == id) return o.get();
  }
  return nullptr;
}

int Connection::peerPid() const {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(wl_display_get_fd(display_), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return 0;
  return peer.pid;
}

bool Connection::wait(std::span<pollfd> others, int timeoutMs) {
  return waitFor(display_, others, timeoutMs) && !broken();
}

bool Connection::roundtrip(Deadline deadline) { return roundtripBy(display_, deadline); }

void Connection::global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                        std::uint32_t version) {
  auto* c = static_cast<Connection*>(data);
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    c->compositor_ = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, kCompositorVersion);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    c->shm_ = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    c->layerShell_ =
        bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, kLayerShellVersion);
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    c->screencopyVersion_ = std::min(version, kScreencopyVersion);
    c->screencopy_ = bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface, version,
                                                       kScreencopyVersion);
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    const auto* manager = &zwlr_virtual_pointer_manager_v1_interface;
    c->virtualPointers_ = bind<zwlr_virtual_pointer_manager_v1>(registry, name, manager, version, 1);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !c->seat_) {
    c->seat_ = bind<wl_seat>(registry, name, &wl_seat_interface, version, 1);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    c->xdgOutputManager_ =
        bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, kXdgOutputVersion);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    c->addOutput(name, version);
  }
}

void Connection::globalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto* c = static_cast<Connection*>(data);
  auto gone = std::find_if(c->outputs_.begin(), c->outputs_.end(), [&](const auto& o) { return o->id == name; });
  if (gone == c->outputs_.end()) return;
  if ((*gone)->xdgOutput) zxdg_output_v1_destroy((*gone)->xdgOutput);
  if (wl_output_get_version((*gone)->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
    wl_output_release((*gone)->output);
  } else {
    wl_output_destroy((*gone)->output);
  }
  c->outputs_.erase(gone);
  ++c->changes_;
}

void Connection::addOutput(std::uint32_t name, std::uint32_t version) {
  auto o = std::make_unique<Output>();
  o->id = name;
  o->owner = this;
  o->output = bind<wl_output>(registry_, name, &wl_output_interface, version, kOutputVersion);
  wl_output_add_listener(o->output, &kOutputListener, o.get());
  if (settled_) {
    describe(*o);
    ++changes_;
  }
  outputs_.push_back(std::move(o));
}

void Connection::describe(Output& o) {
  if (!xdgOutputManager_ || o.xdgOutput) return;
  o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputManager_, o.output);
  zxdg_output_v1_add_listener(o.xdgOutput, &kXdgOutputListener, &o);
}

void Connection::outputChanged(Output&) {
  if (settled_) ++changes_;
}

}  // namespace quorvane::wayland
