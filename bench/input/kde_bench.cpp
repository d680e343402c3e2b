// quorvane-input on a private headless KWin: whole-process time of
// `--capture-windows` with 20 windows (for the record: nothing on KWin to
// compare it with), median of the rounds.
//   bench_input_kde [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/input/measure.h"
#include "tests/support/kwin_session.h"
#include "tests/support/process.h"

int main(int argc, char** argv) {
  using namespace quorvane::test;
  using namespace std::chrono_literals;
  using Clock = std::chrono::steady_clock;
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
  KWinOptions options;
  // The build's helper, granted as an installed one is.
  options.desktopFiles = helperGrantFiles(std::filesystem::path(binary("quorvane-input")).parent_path().string());
  KWinSession kwin(options);
  const SpawnOptions env{.env = kwin.env(), .unsetEnv = {"DISPLAY"}};
  std::vector<std::string> args{binary("quorvane-wayland-client")};
  for (int i = 0; i < 20; ++i) args.insert(args.end(), {"--window", "test-" + std::to_string(i), "336699"});
  Child windows(args, env);
  if (windows.readLine(10s) != "ready") return 1;
  std::vector<double> times;
  std::size_t listed = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    Result r = run({binary("quorvane-input"), "--capture-windows"}, "", env);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (r.status != 0) return 1;
    listed = nlohmann::json::parse(r.out).size();
  }
  std::printf("--capture-windows on KWin, %zu windows listed: median %.2f ms of %d\n", listed,
              percentile(times, 0.5), rounds);
  return listed == 20 ? 0 : 1;
}
