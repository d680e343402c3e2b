// quorvane-desktop on a headless sway: time from start to `ready` with a
// 5120x2880 JPEG on two 1920x1080 outputs, against a wallpaper of output size
// as the baseline, the fixed 0.15 s ready delay subtracted.
//   desktop_wayland_bench [runs]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/desktop/wallpaper_files.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace {

using quorvane::bench::configFor;
using quorvane::bench::writeJpeg;

using namespace std::chrono_literals;
using quorvane::test::binary;
using quorvane::test::Child;

constexpr double kReadyDelay = 0.15;

double runOnce(const quorvane::test::SwaySession& sway, const std::string& config) {
  quorvane::test::SpawnOptions options;
  options.env = sway.env();
  options.env["GSETTINGS_BACKEND"] = "keyfile";
  options.env["XDG_CONFIG_HOME"] = config;
  options.unsetEnv = {"DISPLAY"};
  auto start = std::chrono::steady_clock::now();
  Child mask({binary("quorvane-desktop"), "--mask-desktop"}, options);
  auto line = mask.readLine(15s);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (line != R"({"type":"ready"})") {
    std::fprintf(stderr, "desktop_wayland_bench: expected ready, got '%s'\n", line ? line->c_str() : "nothing");
    std::exit(1);
  }
  mask.writeStdin("stop\n");
  mask.wait();
  std::this_thread::sleep_for(100ms);  // the compositor drops the covers
  return seconds - kReadyDelay;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  quorvane::test::SwayOptions options;
  options.outputs = {"1920x1080", "1920x1080"};
  quorvane::test::SwaySession sway(options);

  const std::string dir = sway.directory() + "/bench";
  std::filesystem::create_directories(dir);
  writeJpeg(dir + "/5k.jpg", 5120, 2880);
  writeJpeg(dir + "/hd.jpg", 1920, 1080);
  const std::string big = configFor(dir, "big", dir + "/5k.jpg"), small = configFor(dir, "small", dir + "/hd.jpg");
  runOnce(sway, big);  // warm the file cache
  std::vector<double> bigRuns, smallRuns;
  for (int i = 0; i < runs; ++i) {
    bigRuns.push_back(runOnce(sway, big));
    smallRuns.push_back(runOnce(sway, small));
  }
  std::printf("start to ready minus %.2f s, median of %d, two 1920x1080 outputs on sway:\n", kReadyDelay, runs);
  std::printf("  5120x2880 JPEG  %.3f s\n  1920x1080 JPEG  %.3f s\n  ratio           %.2f\n", median(bigRuns),
              median(smallRuns), median(bigRuns) / median(smallRuns));
}
