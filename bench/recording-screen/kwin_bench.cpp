// Benchmark of quorvane-recording-screen on a headless KWin (ScreenShot2 on
// llvmpipe), at 1280x720 and 1920x1080:
//  - the delay from a "frame" line to the complete record after a window was
//    shown, against one ScreenShot2 capture of the same output plus one
//    libjpeg-turbo encode, as a minimal grabber would do it;
//  - the streamer's CPU and KWin's at 60 fps with no requests on a still screen.
// The application is a test client with a window of its own, which starts the
// streamer; KWin grants this process ScreenShot2 as it grants the build's
// streamer.
// Run from the release build: recording_screen_kwin_bench [samples, default 15]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bench/recording-screen/turbo_jpeg.h"
#include "common/kde/kwin_screenshot.h"
#include "common/wayland/connection.h"
#include "tests/support/frames.h"
#include "tests/support/kwin_session.h"
#include "tests/support/process.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

using quorvane::test::cpuSeconds;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "recording_screen_kwin_bench: %s\n", what.c_str());
  std::exit(2);
}

// One capture of the output through ScreenShot2 plus one encode.
double baselineMs(quorvane::kde::KWinScreenShot& shots, const std::string& output,
                  quorvane::recording::jpeg::TurboJpegEncoder& encoder) {
  const auto start = Clock::now();
  auto outcome = shots.screen(output, false, Clock::now() + 5s);
  if (!outcome.shot) fail("the baseline's capture failed: " + outcome.detail);
  const auto& layout = outcome.shot->layout;
  if (!encoder.encodeJpegParts({outcome.shot->bytes.data(), layout.width, layout.height, layout.stride, std::nullopt})) {
    fail("the baseline's encode failed");
  }
  return ms(Clock::now() - start);
}

void measure(std::uint32_t width, std::uint32_t height, int samples) {
  using namespace quorvane::test;
  KWinOptions options;
  options.width = width, options.height = height;
  options.rules = {{"bench-a", 100, 100, 400, 300}, {"bench-b", 300, 200, 400, 300}, {"bench-app", 700, 50, 300, 200}};
  options.desktopFiles = helperGrantFiles(std::filesystem::path(binary("quorvane-recording-screen")).parent_path());
  KWinSession kwin(options);
  for (const auto& [name, value] : kwin.env()) setenv(name.c_str(), value.c_str(), 1);
  unsetenv("DISPLAY");
  auto c = quorvane::wayland::Connection::open();
  if (!c || c->outputs().empty()) fail("no connection to KWin");
  const std::string output = c->outputs().front()->name;
  auto application = [&](const char* fps) {
    return std::vector<std::string>{binary("quorvane-wayland-client"), "--window", "bench-app", "FF0000", "--run",
                                    binary("quorvane-recording-screen"), std::to_string(c->outputs().front()->id), fps};
  };
  Child streamer(application("15"));
  quorvane::test::RecordReader records(streamer);
  auto read = [&](std::chrono::milliseconds wait) { return records.next(wait) > 0; };
  if (!read(10s)) fail("no first record: " + streamer.readAllStderr(100ms));
  quorvane::recording::jpeg::TurboJpegEncoder encoder;
  quorvane::kde::KWinScreenShot shots(kwin.bus());
  std::vector<double> delays, baselines;
  std::unique_ptr<Child> shown;
  for (int i = 0; i < samples; ++i) {
    // A window shown (drawn once "ready"), then the request. A change taken by
    // a tick before its request leaves the request waiting for the next one.
    bool answered = false;
    for (int attempt = 0; attempt < 5 && !answered; ++attempt) {
      const char* colours[] = {"20A040", "A04020", "2040A0"};
      shown.reset();
      shown = std::make_unique<Child>(std::vector<std::string>{binary("quorvane-wayland-client"), "--window",
                                                               (i + attempt) % 2 ? "bench-a" : "bench-b",
                                                               colours[(i + attempt) % 3]});
      if (shown->readLine(10s) != "ready") fail("the test client did not start");
      const auto start = Clock::now();
      if (attempt == 0) streamer.writeStdin("frame\n");
      answered = read(2s);
      if (answered && attempt == 0) delays.push_back(ms(Clock::now() - start));
    }
    if (!answered) fail("requests not answered");
    baselines.push_back(baselineMs(shots, output, encoder));
  }
  shown.reset();
  streamer.writeStdin("stop\n");
  streamer.wait(5s);
  const double delay = median(delays), baseline = median(baselines);
  std::printf("%ux%u: frame request to record median %.1f ms, one ScreenShot2 capture + encode %.1f ms, "
              "ratio %.2fx (target <= 1.2x)\n", width, height, delay, baseline, delay / baseline);

  // Idle: 60 fps, no requests, nothing on screen changing.
  Child idle(application("60"));
  if (quorvane::test::RecordReader(idle).next(10s) == 0) fail("no first idle record");
  std::this_thread::sleep_for(1s);  // the first capture's aftermath
  // The streamer is the client's one child.
  std::ifstream children("/proc/" + std::to_string(idle.pid()) + "/task/" + std::to_string(idle.pid()) + "/children");
  pid_t helper = 0;
  if (!(children >> helper)) fail("no streamer under the application");
  const double streamerBefore = cpuSeconds(helper), kwinBefore = cpuSeconds(kwin.pid());
  constexpr double kWindow = 10;
  std::this_thread::sleep_for(std::chrono::duration<double>(kWindow));
  std::printf("%ux%u: at 60 fps, no requests, still screen: streamer %.2f%% of a core, KWin %.2f%%\n", width, height,
              (cpuSeconds(helper) - streamerBefore) * 100 / kWindow,
              (cpuSeconds(kwin.pid()) - kwinBefore) * 100 / kWindow);
  idle.writeStdin("stop\n");
  idle.wait(5s);
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
  measure(1280, 720, samples);
  measure(1920, 1080, samples);
}
