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

#include <turbojpeg.h>

#include "tests/support/process.h"
#include "tests/support/sway_session.h"

namespace {

using namespace std::chrono_literals;
using quorvane::test::binary;
using quorvane::test::Child;

constexpr double kReadyDelay = 0.15;

// A photo-like picture: smooth gradients with some texture, so the JPEG has real detail.
void writeJpeg(const std::string& path, int w, int h) {
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(x * 255 / w);
      p[1] = static_cast<unsigned char>(y * 255 / h);
      p[2] = static_cast<unsigned char>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.03));
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(tj, rgb.data(), w, w * 3, h, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
  tjFree(out);
  tjDestroy(tj);
}

// The picture as the user's GSettings choice, in a configuration of its own.
std::string configFor(const std::string& dir, const std::string& name, const std::string& image) {
  std::string config = dir + "/" + name;
  std::filesystem::create_directories(config + "/glib-2.0/settings");
  std::ofstream(config + "/glib-2.0/settings/keyfile")
      << "[org/gnome/desktop/background]\npicture-uri='file://" << image << "'\npicture-options='zoom'\n";
  return config;
}

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
