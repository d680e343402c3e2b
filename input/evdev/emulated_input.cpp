#include "input/evdev/emulated_input.h"

#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace quorvane::input::evdev::testing {

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

// The full path of the AddressSanitizer runtime this process loaded, if any.
std::string asanRuntime() {
  std::string path;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name && std::strstr(info->dlpi_name, "/libasan.so")) {
          *static_cast<std::string*>(out) = info->dlpi_name;
          return 1;
        }
        return 0;
      },
      &path);
  return path;
}

// libevdev asks with buffers of its own sizes, and umockdev answers only a
// request whose size matches its record: these are libevdev 1.13's on a
// 64-bit system (whole longs of bits; a name of up to 255 bytes).
constexpr std::size_t kLongBits = 64;
constexpr std::size_t bitBytes(std::size_t count) { return (count + kLongBits - 1) / kLongBits * 8; }

struct Bits {
  std::vector<unsigned char> bytes;
  explicit Bits(std::size_t count) : bytes(bitBytes(count)) {}
  void set(std::size_t bit) { bytes.at(bit / 8) |= static_cast<unsigned char>(1u << (bit % 8)); }
};

std::string hex(const void* data, std::size_t size) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<const unsigned char*>(data)[i]);
    out += digits;
  }
  return out;
}

// "NAME ret data": the answer to one request, whose size is the data's.
std::string answer(const std::string& request, std::size_t result, const std::vector<unsigned char>& data) {
  return request + " " + std::to_string(result) + " " + hex(data.data(), data.size()) + "\n";
}

std::string ioctlRecord(const std::string& node, const EmulatedDevice& device) {
  Bits types(EV_CNT), keys(KEY_CNT), rel(REL_CNT), abs(ABS_CNT), props(INPUT_PROP_CNT);
  types.set(EV_SYN);
  if (!device.keys.empty()) types.set(EV_KEY);
  if (!device.relative.empty()) types.set(EV_REL);
  if (!device.absolute.empty()) types.set(EV_ABS);
  if (device.repeats) types.set(EV_REP);
  for (auto code : device.keys) keys.set(code);
  for (auto code : device.relative) rel.set(code);
  for (auto code : device.absolute) abs.set(code);
  if (device.direct) props.set(INPUT_PROP_DIRECT);

  std::vector<unsigned char> name(255, 0);
  std::memcpy(name.data(), device.name.data(), std::min(device.name.size(), name.size() - 1));
  const input_id id{BUS_USB, 0x1234, 0x5678, 0x0111};
  const int version = EV_VERSION;

  std::string r = "@DEV " + node + "\n";
  r += "EVIOCGVERSION 0 " + hex(&version, sizeof version) + "\n";
  r += "EVIOCGID 0 " + hex(&id, sizeof id) + "\n";
  r += answer("EVIOCGNAME(0)", device.name.size() + 1, name);
  r += answer("EVIOCGPROP(0)", props.bytes.size(), props.bytes);
  r += answer("EVIOCGBIT(0)", types.bytes.size(), types.bytes);
  r += answer("EVIOCGBIT(" + std::to_string(EV_KEY) + ")", keys.bytes.size(), keys.bytes);
  r += answer("EVIOCGBIT(" + std::to_string(EV_REL) + ")", rel.bytes.size(), rel.bytes);
  r += answer("EVIOCGBIT(" + std::to_string(EV_ABS) + ")", abs.bytes.size(), abs.bytes);
  for (auto [type, count] : {std::pair{EV_MSC, MSC_CNT}, {EV_SW, SW_CNT}, {EV_LED, LED_CNT}, {EV_SND, SND_CNT},
                             {EV_FF, FF_CNT}}) {
    Bits none(count);
    r += answer("EVIOCGBIT(" + std::to_string(type) + ")", none.bytes.size(), none.bytes);
  }
  Bits held(KEY_CNT);
  for (auto code : device.held) held.set(code);
  r += answer("EVIOCGKEY(0)", held.bytes.size(), held.bytes);
  for (auto [request, count] : {std::pair{"EVIOCGLED(0)", LED_CNT}, {"EVIOCGSW(0)", SW_CNT}}) {
    Bits none(count);
    r += answer(request, none.bytes.size(), none.bytes);
  }
  if (device.repeats) {
    const std::array<int, 2> delayAndPeriod{250, 33};
    r += "EVIOCGREP 0 " + hex(delayAndPeriod.data(), sizeof delayAndPeriod) + "\n";
  }
  for (auto axis : device.absolute) {
    const input_absinfo info{0, 0, 4095, 0, 0, 0};
    r += "EVIOCGABS(" + std::to_string(axis) + ") 0 " + hex(&info, sizeof info) + "\n";
  }
  return r;
}

}  // namespace

input_event stamped(std::uint16_t type, std::uint16_t code, std::int32_t value) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  input_event ev{};
  ev.input_event_sec = now.tv_sec;
  ev.input_event_usec = now.tv_nsec / 1000;
  ev.type = type;
  ev.code = code;
  ev.value = value;
  return ev;
}

void runUnderUmockdev(char** argv) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload && std::strstr(preload, "libumockdev-preload")) return;
  std::string list = asanRuntime();
  if (!list.empty()) list += ':';
  list += kPreload;
  if (preload && *preload) list += std::string(":") + preload;
  setenv("LD_PRELOAD", list.c_str(), 1);
  execv("/proc/self/exe", argv);
  std::perror("running again under umockdev");
  std::_Exit(127);
}

EmulatedDevice EmulatedDevice::keyboard() {
  EmulatedDevice s{"Emulated keyboard", {}, {}, {}, false, true, {}};
  for (std::uint16_t code = KEY_ESC; code <= KEY_F12; ++code) s.keys.push_back(code);
  for (std::uint16_t code : {KEY_RIGHTCTRL, KEY_RIGHTALT, KEY_HOME, KEY_UP, KEY_LEFT, KEY_RIGHT, KEY_DOWN, KEY_DELETE,
                             KEY_LEFTMETA, KEY_RIGHTMETA}) {
    s.keys.push_back(code);
  }
  return s;
}

EmulatedDevice EmulatedDevice::mouse() {
  return {"Emulated mouse", {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}, {REL_X, REL_Y, REL_WHEEL}, {},
          false, false, {}};
}

EmulatedDevice EmulatedDevice::touchpad() {
  return {"Emulated touchpad", {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOUCH}, {}, {ABS_X, ABS_Y}, false, false, {}};
}

EmulatedDevice EmulatedDevice::touchscreen() {
  return {"Emulated touchscreen", {BTN_TOUCH}, {}, {ABS_X, ABS_Y}, true, false, {}};
}

EmulatedDevice EmulatedDevice::powerButton() {
  return {"Emulated power button", {KEY_POWER}, {}, {}, false, false, {}};
}

EmulatedInput::EmulatedInput() : bed_(umockdev_testbed_new()) {
  char* root = umockdev_testbed_get_root_dir(bed_);
  root_ = root;
  g_free(root);
  // The folder exists before the first device, as on a real system.
  if (g_mkdir_with_parents((root_ + "/dev/input").c_str(), 0755) != 0) throw std::runtime_error("no dev/input");
}

EmulatedInput::~EmulatedInput() { g_object_unref(bed_); }

int EmulatedInput::add(const EmulatedDevice& device) {
  const int n = next_++;
  // The record first: the device file appears with the description, and a
  // listener may open it at once.
  answerAs(n, device);
  addNode(n);
  return n;
}

int EmulatedInput::addUnreadable(const EmulatedDevice& device) {
  const int n = next_++;
  addNode(n);
  pending_[n] = device;
  return n;
}

void EmulatedInput::makeReadable(int n) {
  answerAs(n, pending_.at(n));
  // udev gives a new node its group and mode after creating it: the folder's
  // watchers see the node's attributes change.
  const std::string file = root_ + "/dev/input/event" + std::to_string(n);
  if (utimensat(AT_FDCWD, file.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0) {
    throw std::runtime_error("cannot touch " + file);
  }
}

void EmulatedInput::answerAs(int n, const EmulatedDevice& device) {
  const std::string node = "/dev/input/event" + std::to_string(n);
  const std::string record = root_ + "/event" + std::to_string(n) + ".ioctl";
  std::ofstream(record) << ioctlRecord(node, device);
  GError* error = nullptr;
  if (!umockdev_testbed_load_ioctl(bed_, node.c_str(), record.c_str(), &error)) {
    throw std::runtime_error("umockdev record: " + std::string(error->message));
  }
}

void EmulatedInput::addNode(int n) {
  const std::string event = "event" + std::to_string(n);
  const std::string sys = "/devices/virtual/input/input" + std::to_string(n) + "/" + event;
  const std::string description = "P: " + sys + "\nN: input/" + event + "\nE: DEVNAME=/dev/input/" + event +
                                  "\nE: SUBSYSTEM=input\nA: dev=13:" + std::to_string(64 + n) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(bed_, description.c_str(), &error)) {
    throw std::runtime_error("umockdev device: " + std::string(error->message));
  }
  sysPaths_[n] = "/sys" + sys;
}

void EmulatedInput::remove(int n) { umockdev_testbed_remove_device(bed_, sysPaths_.at(n).c_str()); }

void EmulatedInput::hangUp(int n) {
  const int terminal = umockdev_testbed_get_dev_fd(bed_, ("/dev/input/event" + std::to_string(n)).c_str());
  // The test bed closes the terminal's descriptor itself later: put another
  // file in its place, which closes the terminal now.
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  dup2(null, terminal);
  ::close(null);
}

void EmulatedInput::send(int n, const std::vector<input_event>& events) {
  const int terminal = umockdev_testbed_get_dev_fd(bed_, ("/dev/input/event" + std::to_string(n)).c_str());
  // The device is a terminal, which passes a write on in pieces of 2048 bytes:
  // a reader between two pieces would get part of an event, which no kernel
  // device hands out and libevdev refuses. Whole events per piece, then.
  constexpr std::size_t kEventsPerWrite = 2048 / sizeof(input_event);
  for (std::size_t at = 0; at < events.size(); at += kEventsPerWrite) {
    const auto size = static_cast<ssize_t>(std::min(kEventsPerWrite, events.size() - at) * sizeof(input_event));
    if (::write(terminal, events.data() + at, size) != size) throw std::runtime_error("cannot send events");
  }
}

void EmulatedInput::key(int n, std::uint16_t code, std::int32_t value) {
  send(n, {stamped(EV_KEY, code, value), stamped(EV_SYN, SYN_REPORT, 0)});
}

void EmulatedInput::dropped(int n) { send(n, {stamped(EV_SYN, SYN_DROPPED, 0), stamped(EV_SYN, SYN_REPORT, 0)}); }

}  // namespace quorvane::input::evdev::testing
