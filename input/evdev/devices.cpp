#include "input/evdev/devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <ctime>
#include <vector>

namespace quorvane::input::evdev {

// An open device file with its libevdev state; closed with it.
struct Opened {
  int fd = -1;
  libevdev* dev = nullptr;
  Opened() = default;
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  ~Opened() {
    if (dev) libevdev_free(dev);
    if (fd >= 0) ::close(fd);
  }
};

namespace {

// Bounds on what one drain does and on what is kept open. A system has a
// dozen or two event devices; a device sends a few hundred events a second.
constexpr std::size_t kMaxDevices = 64;
constexpr std::size_t kMaxProbed = 256;  // device files looked at by a scan
constexpr int kMaxReady = 32;            // descriptors handled per drain
constexpr std::size_t kMaxEventsPerDevice = 64;
constexpr std::size_t kNoticeBuffer = 16 * (sizeof(inotify_event) + NAME_MAX + 1);

// epoll keys besides the device ids, which start at 1.
constexpr std::uint64_t kNoticesKey = 0;
constexpr std::uint64_t kWakeKey = ~std::uint64_t{0};

constexpr std::uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM;

// "event" and a number: the evdev interface of a device (mouse0, js0 and the
// by-id and by-path folders are other ways to the same devices).
bool isEventDevice(const char* name) {
  const std::string_view n(name);
  constexpr std::string_view prefix = "event";
  if (n.size() <= prefix.size() || n.size() > prefix.size() + 5 || n.substr(0, prefix.size()) != prefix) return false;
  return std::all_of(n.begin() + prefix.size(), n.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Capabilities capabilitiesOf(const libevdev* dev) {
  Capabilities caps;
  for (std::size_t code = 0; code < caps.keys.size(); ++code) {
    if (libevdev_has_event_code(dev, EV_KEY, static_cast<unsigned>(code))) caps.keys.set(code);
  }
  caps.direct = libevdev_has_property(dev, INPUT_PROP_DIRECT) == 1;
  return caps;
}

// libevdev's notes (events lost, a device gone mid-read) are all handled
// here; they would only be noise on the standard error the application reads.
void quiet(const libevdev*, libevdev_log_priority, void*, const char*, int, const char*, const char*, va_list) {}

// Opens a device file and reads what it can do; false when it cannot be read
// (no permission, not an input device, gone).
bool openDevice(const std::string& path, Opened& into) {
  into.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (into.fd < 0 || !(into.dev = libevdev_new())) return false;
  libevdev_set_device_log_function(into.dev, quiet, LIBEVDEV_LOG_ERROR, nullptr);
  return libevdev_set_fd(into.dev, into.fd) == 0;
}

// The names of the event devices in a folder, at most kMaxProbed.
std::vector<std::string> eventDevices(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    if (names.size() == kMaxProbed) break;
    if (isEventDevice(entry->d_name)) names.emplace_back(entry->d_name);
  }
  closedir(dir);
  return names;
}

}  // namespace

bool canListen(const std::string& directory) {
  for (const auto& name : eventDevices(directory)) {
    Opened device;
    if (openDevice(directory + "/" + name, device) && worthListening(capabilitiesOf(device.dev))) return true;
  }
  return false;
}

struct InputDevices::Device {
  std::uint64_t id;
  std::string name;
  Opened file;
  Capabilities caps;
  bool backlog = false;  // events read into libevdev's queue and not handed out yet
};

// A key event read, waiting to be handed out in the order of the events'
// times. A restored one is a key's state read back after lost events.
struct InputDevices::Pending {
  std::int64_t microseconds = 0;
  KeyEvent event;
  bool restored = false;
};

InputDevices::InputDevices(std::string directory) : directory_(std::move(directory)) {}

InputDevices::~InputDevices() {
  devices_.clear();
  for (int fd : {wake_, notices_, epoll_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool InputDevices::start() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  notices_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (epoll_ < 0 || notices_ < 0 || wake_ < 0) return false;
  // Watched before the scan, so that a device added in between is not missed.
  watch_ = inotify_add_watch(notices_, directory_.c_str(), kWatchedChanges);
  if (watch_ < 0) return false;
  epoll_event notices{EPOLLIN, {.u64 = kNoticesKey}};
  epoll_event wake{EPOLLIN, {.u64 = kWakeKey}};
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, notices_, &notices) != 0) return false;
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake) != 0) return false;
  scan();
  return true;
}

void InputDevices::scan() {
  for (const auto& name : eventDevices(directory_)) {
    if (find(name) == 0) open(name);
  }
}

std::uint64_t InputDevices::find(const std::string& name) const {
  for (const auto& [id, device] : devices_) {
    if (device->name == name) return id;
  }
  return 0;
}

void InputDevices::open(const std::string& name) {
  if (devices_.size() >= kMaxDevices) return;
  auto device = std::make_unique<Device>();
  if (!openDevice(directory_ + "/" + name, device->file)) return;
  device->caps = capabilitiesOf(device->file.dev);
  if (!worthListening(device->caps)) return;
  // Event times from the monotonic clock order events of several devices even
  // when the wall clock is set; a kernel that cannot keeps the wall clock's.
  libevdev_set_clock_id(device->file.dev, CLOCK_MONOTONIC);
  device->id = nextId_++;
  device->name = name;
  epoll_event ready{EPOLLIN, {.u64 = device->id}};
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, device->file.fd, &ready) != 0) return;
  // Modifiers already held when the device is opened count from the start.
  for (std::uint16_t code = 0; code < kKeyCodeCount; ++code) {
    if (device->caps.keys.test(code)) {
      presses_.restore(device->id, code, libevdev_get_event_value(device->file.dev, EV_KEY, code) != 0);
    }
  }
  devices_.emplace(device->id, std::move(device));
}

void InputDevices::close(std::uint64_t id) {
  auto it = id == 0 ? devices_.end() : devices_.find(id);
  if (it == devices_.end()) return;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second->file.fd, nullptr);
  presses_.forget(id);
  devices_.erase(it);
}

Outcome InputDevices::drain(PressSink& sink) {
  std::array<epoll_event, kMaxReady> ready;
  const int count = epoll_wait(epoll_, ready.data(), kMaxReady, 0);
  std::map<std::uint64_t, std::uint32_t> toRead;  // device -> epoll readiness
  for (const auto& [id, device] : devices_) {
    if (device->backlog) toRead[id] = EPOLLIN;
  }
  for (int i = 0; i < count; ++i) {
    const std::uint64_t key = ready[i].data.u64;
    if (key == kNoticesKey) {
      readNotices();
    } else if (key == kWakeKey) {
      std::uint64_t ignored;
      static_cast<void>(::read(wake_, &ignored, sizeof ignored));
    } else {
      toRead[key] |= ready[i].events;
    }
  }

  std::vector<Pending> pending;
  std::vector<std::uint64_t> gone;
  bool more = false;
  for (const auto& [id, readiness] : toRead) {
    auto it = devices_.find(id);
    if (it == devices_.end()) continue;  // closed on a notice just read
    switch (readEvents(*it->second, readiness, pending)) {
      case Read::Done:
        break;
      case Read::More:
        more = true;
        break;
      case Read::Gone:
        gone.push_back(id);
        break;
    }
  }
  // Within a device the order is the kernel's; between devices, the times'.
  std::stable_sort(pending.begin(), pending.end(),
                   [](const Pending& a, const Pending& b) { return a.microseconds < b.microseconds; });
  Outcome end;
  for (const auto& p : pending) {
    if (p.restored) {
      presses_.restore(p.event.device, p.event.code, p.event.value != 0);
      continue;
    }
    auto it = devices_.find(p.event.device);
    if ((end = presses_.handle(p.event, it->second->caps, sink))) break;
  }
  for (std::uint64_t id : gone) close(id);
  if (more) {
    const std::uint64_t one = 1;
    static_cast<void>(::write(wake_, &one, sizeof one));
  }
  return end;
}

InputDevices::Read InputDevices::readEvents(Device& device, std::uint32_t readiness, std::vector<Pending>& into) {
  device.backlog = false;
  unsigned flag = LIBEVDEV_READ_FLAG_NORMAL;
  // The state read back after lost events is read whole whatever its length
  // (a device's state is bounded); only events as they come count.
  for (std::size_t n = 0; n < kMaxEventsPerDevice;) {
    input_event ev;
    if (flag == LIBEVDEV_READ_FLAG_NORMAL) ++n;
    const int rc = libevdev_next_event(device.file.dev, flag, &ev);
    if (rc == -EAGAIN) {
      if (flag == LIBEVDEV_READ_FLAG_SYNC) {
        flag = LIBEVDEV_READ_FLAG_NORMAL;  // the state is restored; events follow as usual
        continue;
      }
      // A device that went away reads as hung up, with nothing more to read.
      return readiness & (EPOLLHUP | EPOLLERR) ? Read::Gone : Read::Done;
    }
    if (rc == -EINTR) continue;
    if (rc < 0) return Read::Gone;  // ENODEV when unplugged, or worse
    if (rc == LIBEVDEV_READ_STATUS_SYNC && ev.type == EV_SYN && ev.code == SYN_DROPPED) {
      flag = LIBEVDEV_READ_FLAG_SYNC;  // the kernel dropped events: libevdev reads the state back
      continue;
    }
    if (ev.type != EV_KEY) continue;
    Pending p;
    p.microseconds = std::int64_t(ev.input_event_sec) * 1000000 + ev.input_event_usec;
    p.event = {device.id, ev.code, ev.value};
    p.restored = flag == LIBEVDEV_READ_FLAG_SYNC;
    into.push_back(p);
  }
  device.backlog = libevdev_has_event_pending(device.file.dev) > 0;
  return device.backlog ? Read::More : Read::Done;
}

void InputDevices::readNotices() {
  alignas(inotify_event) std::array<char, kNoticeBuffer> buffer;
  const ssize_t length = ::read(notices_, buffer.data(), buffer.size());
  if (length <= 0) return;
  for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
    const auto* notice = reinterpret_cast<const inotify_event*>(buffer.data() + at);
    at += sizeof(inotify_event) + notice->len;
    if (notice->mask & IN_Q_OVERFLOW) {
      scan();  // changes were lost: whatever is there now and not open yet
      continue;
    }
    if (notice->mask & IN_IGNORED) {
      watch_ = -1;  // the folder itself went away
      continue;
    }
    if (notice->len == 0 || !isEventDevice(notice->name)) continue;
    const std::string name = notice->name;
    const std::uint64_t id = find(name);
    if (notice->mask & (IN_DELETE | IN_MOVED_FROM)) {
      close(id);
    } else if (notice->mask & (IN_CREATE | IN_MOVED_TO)) {
      close(id);  // a new device under an old name
      open(name);
    } else if ((notice->mask & IN_ATTRIB) && id == 0) {
      open(name);  // udev makes a device readable by the input group after creating it
    }
  }
}

}  // namespace quorvane::input::evdev
