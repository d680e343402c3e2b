// Emulated evdev devices for tests and benchmarks, with umockdev: its preload
// library shows this process a private /dev/input and /sys, answers the
// devices' ioctls from records written here, and hands over each device's
// events through a pseudo-terminal. No /dev/uinput, no root, no real device.
#pragma once

#include <linux/input.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace quorvane::input::evdev::testing {

// Makes sure this process runs with umockdev's preload library: if it does
// not yet, runs the same program again with it (after the AddressSanitizer
// runtime, which must come first when there is one) and never returns.
void runUnderUmockdev(char** argv);

// What an emulated device can report.
struct EmulatedDevice {
  std::string name;
  std::vector<std::uint16_t> keys;      // key and button codes
  std::vector<std::uint16_t> relative;  // REL_* axes
  std::vector<std::uint16_t> absolute;  // ABS_* axes, 0 to 4095 each
  bool direct = false;                  // INPUT_PROP_DIRECT
  bool repeats = false;                 // EV_REP, as keyboards have
  std::vector<std::uint16_t> held;      // keys down now: when opened and after lost events

  static EmulatedDevice keyboard();
  static EmulatedDevice mouse();
  static EmulatedDevice touchpad();
  static EmulatedDevice touchscreen();
  static EmulatedDevice powerButton();
};

// An event stamped with the monotonic clock now, as the kernel stamps them.
input_event stamped(std::uint16_t type, std::uint16_t code, std::int32_t value);

// A private test bed; its devices are /dev/input/eventN for this process.
class EmulatedInput {
 public:
  EmulatedInput();
  ~EmulatedInput();
  EmulatedInput(const EmulatedInput&) = delete;
  EmulatedInput& operator=(const EmulatedInput&) = delete;

  // Adds a device and gives its number N (never reused: umockdev keeps a
  // removed node's terminal).
  int add(const EmulatedDevice& device);
  // Adds a device whose file cannot be opened as one yet, as a new node is
  // until udev has given it its group; makeReadable() then lets it be.
  int addUnreadable(const EmulatedDevice& device);
  void makeReadable(int n);
  // Takes the device away as unplugging does: its file is deleted.
  void remove(int n);
  // The device stops answering while its file stays: reads find it hung up.
  void hangUp(int n);

  // Sends events as the kernel would.
  void send(int n, const std::vector<input_event>& events);
  // A key or button going down (1), up (0) or repeating (2), then SYN_REPORT.
  void key(int n, std::uint16_t code, std::int32_t value);
  // The kernel's note that it dropped events, as a full client buffer gives.
  void dropped(int n);

 private:
  // Loads the answers of the device's ioctls.
  void answerAs(int n, const EmulatedDevice& device);
  // Adds the device to /sys and its file to /dev/input.
  void addNode(int n);

  UMockdevTestbed* bed_;
  std::string root_;
  int next_ = 0;
  std::map<int, std::string> sysPaths_;
  std::map<int, EmulatedDevice> pending_;  // devices not readable yet
};

}  // namespace quorvane::input::evdev::testing
