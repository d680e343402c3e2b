// The kernel's input devices (evdev), read directly: in a Wayland session no
// compositor tells one application of another's clicks and keys, so the input
// monitor reads the keyboards and pointers themselves. Reading them needs the
// device files' group (`input` on Debian); nothing is grabbed or changed.
//
// Devices are followed as they come and go (inotify on their folder). Every
// descriptor is non-blocking; one epoll descriptor stands for all of them, so
// any event loop can wait on it beside its own descriptors and timers.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "input/evdev/presses.h"

namespace quorvane::input::evdev {

inline constexpr const char* kInputDirectory = "/dev/input";

// Whether this process can read a device that presses keys or clicks: the
// input monitor's permission.
bool canListen(const std::string& directory = kInputDirectory);

class InputDevices {
 public:
  explicit InputDevices(std::string directory = kInputDirectory);
  ~InputDevices();
  InputDevices(const InputDevices&) = delete;
  InputDevices& operator=(const InputDevices&) = delete;

  // Watches the folder and opens every device worth listening to that can be
  // read; false when the folder cannot be watched.
  bool start();
  // Readable when drain() has work.
  int descriptor() const { return epoll_; }
  // Reads what has arrived, without blocking and in bounded time, and tells
  // the sink of each press in the order they happened; stops at the first end
  // the sink asks for. Work left over keeps the descriptor readable.
  Outcome drain(PressSink& sink);
  // False once the devices' folder itself has gone.
  bool listening() const { return watch_ >= 0; }
  // How many devices are open now.
  std::size_t openDevices() const { return devices_.size(); }

 private:
  struct Device;
  struct Pending;
  enum class Read { Done, More, Gone };

  void scan();
  void open(const std::string& name);
  void close(std::uint64_t id);
  std::uint64_t find(const std::string& name) const;
  void readNotices();
  Read readEvents(Device& device, std::uint32_t readiness, std::vector<Pending>& into);

  std::string directory_;
  int epoll_ = -1;
  int notices_ = -1;  // inotify
  int watch_ = -1;
  int wake_ = -1;  // eventfd: devices with events read but not yet handed out
  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, std::unique_ptr<Device>> devices_;
  Presses presses_;
};

}  // namespace quorvane::input::evdev
