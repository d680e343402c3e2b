// Whole-process time of `quorvane-input --capture-windows` against `wmctrl -lp`
// and against the floor, a minimal xcb client that connects and makes the two
// round trips any list needs (bench_input_windows_floor), on the same private
// display with 20 windows of 3 processes, in one run. Prints medians and the
// ratios (targets: at most 0.6 and 1.5). A second quorvane-input (another
// build) given after the rounds is timed in the same rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

extern char** environ;

namespace {

// One run of a command with its output thrown away; its wall-clock time in ms.
double timeOnce(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return -1;
  int status;
  waitpid(pid, &status, 0);
  auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
  quorvane::test::XSession session;
  session.exportDisplay();
  std::vector<std::unique_ptr<quorvane::test::FakeApp>> apps;
  int windows = 0;
  for (int p = 0; p < 3; ++p) {
    apps.push_back(std::make_unique<quorvane::test::FakeApp>(session));
    for (int w = 0; w < (p == 2 ? 6 : 7); ++w) {
      std::string opts = "x=" + std::to_string(40 * windows) + " y=" + std::to_string(20 * windows) +
                         " w=300 h=200 class=App" + std::to_string(p);
      if (apps.back()->openWindow(opts)) ++windows;
    }
  }
  const std::string input = quorvane::test::binary("quorvane-input");
  const std::string floorClient = quorvane::test::binary("bench_input_windows_floor");
  const std::string other = argc > 2 ? argv[2] : "";
  std::vector<double> ours, peer, floor, others;
  for (int i = 0; i < rounds; ++i) {  // interleaved, so all see the same machine load
    ours.push_back(timeOnce({input, "--capture-windows"}));
    peer.push_back(timeOnce({"wmctrl", "-lp"}));
    floor.push_back(timeOnce({floorClient}));
    if (!other.empty()) others.push_back(timeOnce({other, "--capture-windows"}));
  }
  double a = median(ours), b = median(peer), f = median(floor);
  printf("windows on display: %d (3 processes), rounds: %d\n", windows, rounds);
  printf("quorvane-input --capture-windows  median %.3f ms\n", a);
  printf("wmctrl -lp                        median %.3f ms\n", b);
  printf("minimal xcb client (the floor)    median %.3f ms\n", f);
  printf("ratio: %.2f (target <= 0.6), to the floor %.2f (target <= 1.5)\n", a / b, a / f);
  if (!others.empty()) {
    const double o = median(others);
    printf("%s  median %.3f ms, ratio %.2f, to the floor %.2f\n", other.c_str(), o, o / b, o / f);
  }
  return 0;
}
