// A connection to the Wayland compositor with the globals the backends use,
// and the outputs as they are now (wl_output, with xdg-output's logical
// position and name). Outputs that come, go or change after the first look
// bump `changes()`, which a backend compares to decide a display change.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <poll.h>
#include <wayland-client.h>

#include "common/posix/session.h"

struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct zwlr_virtual_pointer_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace quorvane::wayland {

using posix::Deadline;

class Connection;

struct Output {
  std::uint32_t id = 0;  // its registry name: the same for every client while it exists
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;
  std::string name;                   // "HEADLESS-1", from xdg-output (or wl_output 4)
  std::int32_t x = 0, y = 0;          // logical position in the global space
  std::int32_t logicalWidth = 0, logicalHeight = 0;
  std::int32_t modeWidth = 0, modeHeight = 0;  // the current mode, in pixels
  std::int32_t transform = 0;
  std::int32_t scale = 1;
  bool done = false;  // every property has arrived at least once
  Connection* owner = nullptr;

  // Its size in buffer pixels (the mode, turned by the transform).
  std::uint32_t pixelWidth() const;
  std::uint32_t pixelHeight() const;
};

class Connection {
 public:
  // nullptr when no compositor answers on WAYLAND_DISPLAY (or the default
  // socket) by the deadline: connected, globals and outputs described.
  static std::unique_ptr<Connection> open(Deadline deadline = posix::answerDeadline());
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
  zwlr_screencopy_manager_v1* screencopy() const { return screencopy_; }
  std::uint32_t screencopyVersion() const { return screencopyVersion_; }
  zwlr_virtual_pointer_manager_v1* virtualPointers() const { return virtualPointers_; }
  wl_seat* seat() const { return seat_; }  // the first one the compositor offers
  const std::vector<std::unique_ptr<Output>>& outputs() const { return outputs_; }
  const Output* output(std::uint32_t id) const;

  // Counts every output added, removed or changed since open() returned.
  std::uint64_t changes() const { return changes_; }
  // The connection failed (the compositor went away or refused a request).
  bool broken() const { return wl_display_get_error(display_) != 0; }
  // The process serving this connection, as the kernel tells (0 if unknown).
  int peerPid() const;

  // Sends what is queued, waits up to timeoutMs (-1: no limit) for the
  // compositor or for any of `others` (whose revents it fills in), and
  // handles what the compositor sent. False once the connection is broken.
  bool wait(std::span<pollfd> others, int timeoutMs);
  // Sends what is queued and handles what has arrived, without waiting.
  bool dispatchPending() { return wait({}, 0); }
  // One round trip, finished by the deadline; false when late or broken.
  bool roundtrip(Deadline deadline = posix::answerDeadline());

 private:
  explicit Connection(wl_display* display) : display_(display) {}
  static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                     std::uint32_t version);
  static void globalRemove(void* data, wl_registry* registry, std::uint32_t name);
  void addOutput(std::uint32_t name, std::uint32_t version);
  void describe(Output& output);
  void outputChanged(Output& output);

  friend struct OutputEvents;
  wl_display* display_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  zwlr_screencopy_manager_v1* screencopy_ = nullptr;
  std::uint32_t screencopyVersion_ = 0;
  zwlr_virtual_pointer_manager_v1* virtualPointers_ = nullptr;
  wl_seat* seat_ = nullptr;
  zxdg_output_manager_v1* xdgOutputManager_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  bool settled_ = false;  // the first look is over: from now on, changes count
  std::uint64_t changes_ = 0;
};

}  // namespace quorvane::wayland
