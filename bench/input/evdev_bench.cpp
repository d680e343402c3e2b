// The evdev input monitor's cost, on devices umockdev emulates:
//  - delay from a key press written to the device to the core's key-down
//    call, median and 99th percentile (target: p99 under 5 ms), against the
//    same bytes read from an emulated device by a bare loop in the same run;
//    and the loop's CPU time per press, which the machine's load does not skew;
//  - CPU of a monitor loop (the devices' descriptor and a 30 Hz sampling
//    timer, as the monitor waits) over a few idle seconds (target: under 1%
//    of one core), printed also as a ratio to that target.
//   bench_input_evdev [seconds] [presses]
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "common/ticks.h"
#include "input/evdev/devices.h"
#include "input/evdev/emulated_input.h"
#include "input/monitor.h"

namespace {

using namespace quorvane::input;
using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double cpuSeconds(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Notes when the core would be told of a key, and wakes the timing thread.
struct Stamps final : evdev::PressSink {
  int told = eventfd(0, EFD_CLOEXEC);
  std::atomic<Clock::time_point> at;
  std::atomic<Clock::time_point> woke;  // when the loop woke for the events
  ~Stamps() { close(told); }
  quorvane::Outcome keyDown(std::int64_t, std::uint64_t) override {
    at = Clock::now();
    const std::uint64_t one = 1;
    static_cast<void>(write(told, &one, sizeof one));
    return std::nullopt;
  }
  quorvane::Outcome buttonDown() override { return std::nullopt; }
  void wait() {
    std::uint64_t n;
    static_cast<void>(read(told, &n, sizeof n));
  }
};

// The monitor's wait: the devices' descriptor, and a sampling timer that
// fires 30 times a second (its work is the core's, not measured here).
void monitorLoop(evdev::InputDevices& devices, Stamps& sink, int stop) {
  auto seconds = [] { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); };
  quorvane::TickSchedule ticks(seconds(), kSampleInterval);
  for (;;) {
    pollfd p[2] = {{devices.descriptor(), POLLIN, 0}, {stop, POLLIN, 0}};
    poll(p, 2, ticks.millisUntilDue(seconds()));
    if (p[1].revents) break;
    sink.woke = Clock::now();
    if (p[0].revents && devices.drain(sink)) break;
    if (ticks.due(seconds())) ticks.fired(seconds());
  }
}

// The baseline: the same bytes read straight from an emulated device by a
// thread that waits on it as the loop waits, reading until nothing is left
// as libevdev does. umockdev passes every read of an emulated device through
// its own socket, which costs more than the kernel would; this shows that
// cost, so that the rest is the monitor's.
std::vector<double> deviceBaseline(evdev::testing::EmulatedInput& input, int presses) {
  const int n = input.add(evdev::testing::EmulatedDevice::keyboard());
  const int fd = open(("/dev/input/event" + std::to_string(n)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {0};
  Stamps stamps;
  std::thread reader([&] {
    char buffer[sizeof(input_event) * 8];
    for (int i = 0; i < presses; ++i) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 1000);
      while (read(fd, buffer, sizeof buffer) > 0) {
      }
      stamps.keyDown(0, 0);
    }
  });
  std::vector<double> delays;
  for (int i = 0; i < presses; ++i) {
    const auto sent = Clock::now();
    input.key(n, KEY_C, 1);
    stamps.wait();
    delays.push_back(millis(stamps.at.load() - sent));
  }
  reader.join();
  close(fd);
  return delays;
}

}  // namespace

int main(int argc, char** argv) {
  evdev::testing::runUnderUmockdev(argv);
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 500;

  evdev::testing::EmulatedInput input;
  const int keyboard = input.add(evdev::testing::EmulatedDevice::keyboard());
  input.add(evdev::testing::EmulatedDevice::mouse());
  evdev::InputDevices devices;
  if (!devices.start() || devices.openDevices() != 2) {
    std::fprintf(stderr, "the emulated devices did not open\n");
    return 1;
  }
  Stamps stamps;
  const int stop = eventfd(0, EFD_CLOEXEC);
  std::thread loop(monitorLoop, std::ref(devices), std::ref(stamps), stop);
  clockid_t loopClock;
  pthread_getcpuclockid(loop.native_handle(), &loopClock);

  // Key press to core call, Control held: each press a shortcut.
  const double pressCpuStart = cpuSeconds(loopClock);
  input.key(keyboard, KEY_LEFTCTRL, 1);
  std::vector<double> delays, drains;
  for (int i = 0; i < presses; ++i) {
    const auto sent = Clock::now();
    input.key(keyboard, KEY_C, 1);
    stamps.wait();
    delays.push_back(millis(stamps.at.load() - sent));
    drains.push_back(millis(stamps.at.load() - stamps.woke.load()));
    input.key(keyboard, KEY_C, 0);
  }
  input.key(keyboard, KEY_LEFTCTRL, 0);
  const double pressCpu = cpuSeconds(loopClock) - pressCpuStart;

  // Idle: the loop alone with its timer.
  const auto idleStart = Clock::now();
  const double idleCpuStart = cpuSeconds(loopClock);
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  const double idleCpu = cpuSeconds(loopClock) - idleCpuStart;
  const double idleWall = std::chrono::duration<double>(Clock::now() - idleStart).count();
  const std::uint64_t one = 1;
  static_cast<void>(write(stop, &one, sizeof one));
  loop.join();

  const auto baseline = deviceBaseline(input, presses);
  const double idlePercent = 100.0 * idleCpu / idleWall;
  const double median = percentile(delays, 0.5), p99 = percentile(delays, 0.99);
  std::printf("key press -> core call (%d presses): median %.3f ms, p99 %.3f ms (target p99 < 5 ms)\n", presses,
              median, p99);
  std::printf("  of which from waking to the call: median %.3f ms, p99 %.3f ms\n", percentile(drains, 0.5),
              percentile(drains, 0.99));
  std::printf("  loop CPU per press (down and up, umockdev's side of the reads included): %.1f us\n",
              1e6 * pressCpu / presses);
  std::printf("emulated device read by a waiting thread (baseline): median %.3f ms, p99 %.3f ms; "
              "ratio median %.2f, p99 %.2f\n",
              percentile(baseline, 0.5), percentile(baseline, 0.99), median / percentile(baseline, 0.5),
              p99 / percentile(baseline, 0.99));
  std::printf("monitor loop CPU while idle: %.3f%% of one core over %.1f s; ratio to the 1%% target: %.3f\n",
              idlePercent, idleWall, idlePercent / 1.0);
  return 0;
}
