// The input monitor's cost on a private display:
//  - CPU used over 10 s of sampling a window source (target: under 1% of one
//    core), printed also as a ratio to that target;
//  - delay from an injected key press to its `shortcut` line, median and 99th
//    percentile, against an X round trip measured in the same run.
//   bench_input_monitor [seconds] [presses]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"
#include "bench/input/measure.h"

namespace {

using namespace quorvane::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kControl = 37, kShift = 50, k9 = 18;  // X keycodes of a US keyboard

void fake(xcb_connection_t* c, std::uint8_t type, std::uint8_t key) {
  xcb_test_fake_input(c, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int presses = argc > 2 ? std::atoi(argv[2]) : 300;

  XSession session;
  FakeApp app(session);
  auto window = app.openWindow("x=100 y=100 w=800 h=600 class=Recorded");
  if (!window) return 1;
  SpawnOptions options;
  options.env["DISPLAY"] = session.display();
  Child monitor({binary("quorvane-input"), "window", std::to_string(*window)}, options);
  if (monitor.readLine(15s) != std::optional<std::string>("{\"type\":\"ready\"}")) return 1;

  // CPU while sampling, nothing else happening.
  const double cpuStart = cpuSeconds(monitor.pid());
  const auto wallStart = Clock::now();
  int samples = 0;
  while (Clock::now() - wallStart < std::chrono::duration<double>(seconds)) {
    if (monitor.readLine(1s)) ++samples;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
  const double cpuPercent = 100.0 * (cpuSeconds(monitor.pid()) - cpuStart) / wall;

  // Key press to shortcut line.
  xcb_connection_t* x = xcb_connect(session.display().c_str(), nullptr);
  std::vector<double> delays, roundTrips;
  for (int i = 0; i < presses; ++i) {
    auto before = Clock::now();
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    roundTrips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());

    fake(x, XCB_KEY_PRESS, kControl);
    fake(x, XCB_KEY_PRESS, kShift);
    xcb_flush(x);
    const auto pressed = Clock::now();
    fake(x, XCB_KEY_PRESS, k9);
    xcb_flush(x);
    for (;;) {
      auto line = monitor.readLine(10s);
      if (!line) return 1;
      if (line->find("\"shortcut\"") != std::string::npos) break;
    }
    delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - pressed).count());
    // Its zoom line follows; taking it keeps every press matched with its own lines.
    if (monitor.readLine(10s) != std::optional<std::string>("{\"type\":\"zoom\"}")) {
      std::fprintf(stderr, "press %d: no zoom after its shortcut\n", i);
      return 1;
    }
    fake(x, XCB_KEY_RELEASE, k9);
    fake(x, XCB_KEY_RELEASE, kShift);
    fake(x, XCB_KEY_RELEASE, kControl);
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
  }
  xcb_disconnect(x);

  const double rtt = percentile(roundTrips, 0.5);
  std::printf("samples: %d in %.1f s (%.1f per second)\n", samples, wall, samples / wall);
  std::printf("monitor CPU: %.2f%% of one core; ratio to the 1%% target: %.2f\n", cpuPercent, cpuPercent / 1.0);
  std::printf("key press -> shortcut line (%d presses): median %.3f ms, p99 %.3f ms\n", presses,
              percentile(delays, 0.5), percentile(delays, 0.99));
  std::printf("X round trip baseline: median %.3f ms; latency ratio median %.1f, p99 %.1f\n", rtt,
              percentile(delays, 0.5) / rtt, percentile(delays, 0.99) / rtt);
  return 0;
}
