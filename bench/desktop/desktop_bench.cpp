// Time from start to `ready` and peak memory of quorvane-desktop with a large
// wallpaper on two 1920x1080 monitors, against a wallpaper of monitor size as
// the baseline. The ready Message waits a fixed 0.15 s on purpose; it is
// subtracted from the figures. Given another build of the program, runs of
// both alternate, so that the machine's load falls on both alike.
//   desktop_bench [runs] [other-quorvane-desktop]
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/desktop/wallpaper_files.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace {

using quorvane::bench::configFor;
using quorvane::bench::writeJpeg;

using quorvane::test::binary;

constexpr double kReadyDelay = 0.15;
constexpr auto kSettle = std::chrono::milliseconds(100);

struct Sample {
  double readySeconds;
  long peakKiB;
};

// One run: spawn, read `ready`, stop, and take the child's peak resident size.
Sample runOnce(const std::string& program, const std::string& config) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) std::exit(1);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    execl(program.c_str(), program.c_str(), "--mask-desktop", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (line != R"({"type":"ready"})") {
    std::fprintf(stderr, "desktop_bench: %s: expected ready, got '%s'\n", program.c_str(), line.c_str());
    std::exit(1);
  }
  if (write(in[1], "stop\n", 5) != 5) std::exit(1);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  close(in[1]);
  close(out[0]);
  // The window manager and the server tear the covers down after the exit;
  // the application never asks again that fast, so runs do not overlap that.
  std::this_thread::sleep_for(kSettle);
  return {seconds - kReadyDelay, usage.ru_maxrss};
}

struct Series {
  std::vector<double> seconds;
  long peakKiB = 0;
  void add(const Sample& s) {
    seconds.push_back(s.readySeconds);
    peakKiB = std::max(peakKiB, s.peakKiB);
  }
  double median() {
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  std::vector<std::string> programs{binary("quorvane-desktop")};
  if (argc > 2) programs.push_back(argv[2]);

  quorvane::test::XSessionOptions options;
  options.width = 3840;
  options.height = 1080;
  options.monitors = {"1920x1080+0+0", "1920x1080+1920+0"};
  quorvane::test::XSession session(options);
  session.exportDisplay();

  char tmpl[] = "/tmp/quorvane-desktop-bench-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  writeJpeg(dir + "/5k.jpg", 5120, 2880);
  writeJpeg(dir + "/hd.jpg", 1920, 1080);
  const std::string configs[] = {configFor(dir, "big", dir + "/5k.jpg"), configFor(dir, "small", dir + "/hd.jpg")};

  for (const std::string& program : programs) runOnce(program, configs[0]);  // warm the file cache
  std::vector<std::array<Series, 2>> series(programs.size());
  for (int i = 0; i < runs; ++i) {
    for (std::size_t p = 0; p < programs.size(); ++p) {
      for (int image = 0; image < 2; ++image) series[p][image].add(runOnce(programs[p], configs[image]));
    }
  }

  std::printf("start to ready, minus the fixed 0.15 s (median of %d runs each, alternating):\n", runs);
  std::vector<double> large(programs.size());
  for (std::size_t p = 0; p < programs.size(); ++p) {
    large[p] = series[p][0].median();
    double base = series[p][1].median();
    std::printf("%s\n", programs[p].c_str());
    std::printf("  5120x2880 JPEG on two 1920x1080 monitors: %6.1f ms (target < 100 ms), peak %ld MiB\n",
                large[p] * 1000, series[p][0].peakKiB / 1024);
    std::printf("  1920x1080 JPEG baseline:                  %6.1f ms, peak %ld MiB\n", base * 1000,
                series[p][1].peakKiB / 1024);
    std::printf("  ratio 5K / baseline: time %.2f, memory %.2f\n", large[p] / base,
                static_cast<double>(series[p][0].peakKiB) / static_cast<double>(series[p][1].peakKiB));
  }
  if (programs.size() == 2) std::printf("5K time, this build / the other: %.2f\n", large[0] / large[1]);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
