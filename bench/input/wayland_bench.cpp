// quorvane-input in a Wayland session, on a private headless sway:
//  - whole-process time of `--capture-windows` with 20 windows (of 20
//    clients) against `swaymsg -t get_tree` in the same rounds (target: at
//    most 1.5x), medians;
//  - auto-scroll's step round trip ("step" written to the step Message read),
//    median (target: under 5 ms);
//  - the input monitor on an emulated keyboard (umockdev): key press written
//    to its `shortcut` line, median and 99th percentile (target: p99 under
//    5 ms), and its CPU over idle seconds (target: under 1% of a core).
//   bench_input_wayland [rounds] [presses] [idle seconds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <linux/input.h>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/input/measure.h"
#include "common/wayland/connection.h"
#include "input/evdev/emulated_input.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace {

using namespace quorvane::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using quorvane::input::evdev::testing::EmulatedDevice;
using quorvane::input::evdev::testing::EmulatedInput;

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double timed(const std::vector<std::string>& argv, const SpawnOptions& options) {
  const auto start = Clock::now();
  Result r = run(argv, "", options);
  return r.status == 0 ? since(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  quorvane::input::evdev::testing::runUnderUmockdev(argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 300;
  const double idle = argc > 3 ? std::atof(argv[3]) : 10.0;
  SwaySession sway;
  SpawnOptions options{.env = sway.env(), .unsetEnv = {"DISPLAY"}};
  std::vector<std::unique_ptr<Child>> windows;
  for (int i = 0; i < 20; ++i) {
    windows.push_back(std::make_unique<Child>(
        std::vector<std::string>{binary("quorvane-wayland-client"), "--window", "test-" + std::to_string(i), "336699"},
        options));
    if (windows.back()->readLine(10s) != "ready") return 1;
  }
  std::vector<double> ours, theirs;
  for (int i = 0; i < rounds; ++i) {
    ours.push_back(timed({binary("quorvane-input"), "--capture-windows"}, options));
    theirs.push_back(timed({"swaymsg", "-t", "get_tree"}, options));
  }
  const double a = percentile(ours, 0.5), b = percentile(theirs, 0.5);
  std::printf("--capture-windows, 20 windows: median %.2f ms; swaymsg -t get_tree %.2f ms; "
              "ratio %.2f (target <= 1.5)\n", a, b, a / b);

  // Steps over the frontmost window; the run ends after 100 steps, so several runs.
  auto tree = nlohmann::json::parse(sway.message({"-t", "get_tree"}));
  std::string target;
  std::function<void(const nlohmann::json&)> find = [&](const nlohmann::json& n) {
    if (n.value("focused", false) && n.contains("pid")) target = std::to_string(n["id"].get<long>());
    for (const char* k : {"nodes", "floating_nodes"}) {
      for (const auto& c : n.value(k, nlohmann::json::array())) find(c);
    }
  };
  find(tree);
  std::vector<double> steps;
  while (static_cast<int>(steps.size()) < 3 * 90) {
    Child scroll({binary("quorvane-input"), "--scroll", target, "0.25", "0.25", "0.5", "0.5"}, options);
    if (scroll.readLine(10s) != R"({"type":"ready"})") return 1;
    for (int i = 0; i < 90; ++i) {
      const auto start = Clock::now();
      scroll.writeStdin("step\n");
      if (scroll.readLine(5s) != R"({"type":"step"})") return 1;
      steps.push_back(since(start));
    }
    scroll.writeStdin("stop\n");
    scroll.wait(5s);
  }
  std::printf("auto-scroll step round trip: median %.3f ms, p99 %.3f ms (target: median < 5 ms)\n",
              percentile(steps, 0.5), percentile(steps, 0.99));

  EmulatedInput devices;
  const int keyboard = devices.add(EmulatedDevice::keyboard());
  for (const auto& [name, value] : sway.env()) setenv(name.c_str(), value.c_str(), 1);
  auto connection = quorvane::wayland::Connection::open();
  if (!connection || connection->outputs().empty()) return 1;
  Child monitor({binary("quorvane-input"), "screen", std::to_string(connection->outputs()[0]->id)}, options);
  if (monitor.readLine(10s) != R"({"type":"ready"})") return 1;
  const double cpuStart = cpuSeconds(monitor.pid());
  const auto idleStart = Clock::now();
  while (since(idleStart) < idle * 1000) monitor.readLine(200ms);
  const double cpuPercent = 100.0 * (cpuSeconds(monitor.pid()) - cpuStart) / (since(idleStart) / 1000);
  std::vector<double> delays;
  devices.key(keyboard, KEY_LEFTCTRL, 1);
  for (int i = 0; i < presses; ++i) {
    const auto start = Clock::now();
    devices.key(keyboard, KEY_C, 1);
    if (monitor.readLine(5s) != R"({"label":"Ctrl+C","type":"shortcut"})") return 1;
    delays.push_back(since(start));
    devices.key(keyboard, KEY_C, 0);
  }
  std::printf("monitor key press to Message: median %.3f ms, p99 %.3f ms (target: p99 < 5 ms); "
              "idle CPU %.3f%% of a core (target < 1%%)\n",
              percentile(delays, 0.5), percentile(delays, 0.99), cpuPercent);
  return 0;
}
