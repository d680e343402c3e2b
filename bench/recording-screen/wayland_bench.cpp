// Benchmark of quorvane-recording-screen on a headless sway, at 1280x720 and
// 1920x1080: the delay from a "frame" line to the complete record after a
// window moved, against a baseline of one screencopy of the same output plus
// one libjpeg-turbo encode, as a minimal grabber would do it. This process is
// the application (its window is painted over in every frame).
// Run from the release build: recording_screen_wayland_bench [samples, default 25]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/wayland/connection.h"
#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"
#include "common/wayland/protocols/xdg-shell-client.h"
#include "common/wayland/shm.h"
#include "bench/recording-screen/turbo_jpeg.h"
#include "tests/support/frames.h"
#include "tests/support/process.h"
#include "tests/support/sway_session.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace wl = quorvane::wayland;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "recording_screen_wayland_bench: %s\n", what);
  std::exit(2);
}

// This process's window: the application's, tiled over the output.
struct Window {
  wl::Connection& c;
  xdg_wm_base* base = nullptr;
  wl_surface* surface = nullptr;
  std::unique_ptr<wl::ShmBuffer> buffer;
  std::uint32_t width = 400, height = 300;

  explicit Window(wl::Connection& connection) : c(connection) {
    static const wl_registry_listener globals = {
        [](void* d, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
          if (std::string(interface) == xdg_wm_base_interface.name)
            static_cast<Window*>(d)->base = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    wl_registry_add_listener(wl_display_get_registry(c.display()), &globals, this);
    c.roundtrip();
    if (!base) fail("no xdg_wm_base");
    surface = wl_compositor_create_surface(c.compositor());
    auto* xs = xdg_wm_base_get_xdg_surface(base, surface);
    static const xdg_toplevel_listener sized = {
        [](void* d, xdg_toplevel*, std::int32_t w, std::int32_t h, wl_array*) {
          if (w > 0 && h > 0) static_cast<Window*>(d)->width = std::uint32_t(w), static_cast<Window*>(d)->height = std::uint32_t(h);
        },
        [](void*, xdg_toplevel*) {}, nullptr, nullptr};
    xdg_toplevel_add_listener(xdg_surface_get_toplevel(xs), &sized, this);
    static const xdg_surface_listener configured = {[](void* d, xdg_surface* xs, std::uint32_t serial) {
      auto* w = static_cast<Window*>(d);
      xdg_surface_ack_configure(xs, serial);
      w->buffer = wl::ShmBuffer::create(w->c.shm(), w->width, w->height, w->width * 4, WL_SHM_FORMAT_XRGB8888);
      std::fill_n(reinterpret_cast<std::uint32_t*>(w->buffer->data()), w->width * w->height, 0x3060A0u);
      wl_surface_attach(w->surface, w->buffer->buffer(), 0, 0);
      wl_surface_commit(w->surface);
    }};
    xdg_surface_add_listener(xs, &configured, this);
    wl_surface_commit(surface);
    for (int i = 0; i < 3; ++i) c.roundtrip();
  }
};

// One screencopy of the output plus one encode.
double baselineMs(wl::Connection& c, quorvane::recording::jpeg::TurboJpegEncoder& encoder,
                  std::unique_ptr<wl::ShmBuffer>& buffer) {
  struct State {
    std::uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool described = false, ready = false, failed = false;
  } s;
  auto start = Clock::now();
  auto* frame = zwlr_screencopy_manager_v1_capture_output(c.screencopy(), 1, c.outputs().front()->output);
  static const zwlr_screencopy_frame_v1_listener listener = {
      [](void* d, zwlr_screencopy_frame_v1*, std::uint32_t f, std::uint32_t w, std::uint32_t h, std::uint32_t st) {
        auto* s = static_cast<State*>(d);
        if (f == WL_SHM_FORMAT_XRGB8888 || f == WL_SHM_FORMAT_ARGB8888) s->format = f, s->width = w, s->height = h, s->stride = st;
      },
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t) {},
      [](void* d, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) { static_cast<State*>(d)->ready = true; },
      [](void* d, zwlr_screencopy_frame_v1*) { static_cast<State*>(d)->failed = true; },
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
      [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
      [](void* d, zwlr_screencopy_frame_v1*) { static_cast<State*>(d)->described = true; }};
  zwlr_screencopy_frame_v1_add_listener(frame, &listener, &s);
  while (!s.described && !s.failed) if (wl_display_dispatch(c.display()) < 0) fail("compositor lost");
  // Reused, as a grabber would.
  if (!buffer || buffer->width() != s.width || buffer->height() != s.height)
    buffer = wl::ShmBuffer::create(c.shm(), s.width, s.height, s.stride, s.format);
  zwlr_screencopy_frame_v1_copy(frame, buffer->buffer());
  while (!s.ready && !s.failed) if (wl_display_dispatch(c.display()) < 0) fail("compositor lost");
  zwlr_screencopy_frame_v1_destroy(frame);
  if (s.failed) fail("copy failed");
  if (!encoder.encodeJpegParts({buffer->data(), s.width, s.height, s.stride, std::nullopt})) fail("encode failed");
  return ms(Clock::now() - start);
}

void measure(const std::string& size, int samples) {
  using namespace quorvane::test;
  quorvane::test::SwayOptions options;
  options.outputs = {size};
  SwaySession sway(options);
  for (const auto& [name, value] : sway.env()) setenv(name.c_str(), value.c_str(), 1);
  auto c = wl::Connection::open();
  if (!c || !c->screencopy()) fail("no compositor with screencopy");
  Window window(*c);
  Child other({binary("quorvane-wayland-client"), "--window", "test-bench", "00C000"});
  if (other.readLine(10s) != "ready") fail("the test client did not start");
  Child streamer({binary("quorvane-recording-screen"), std::to_string(c->outputs().front()->id), "60"});
  quorvane::test::RecordReader records(streamer);
  auto read = [&](std::chrono::milliseconds wait) { return records.next(wait) > 0; };
  if (!read(10s)) fail(("no first record: " + streamer.readAllStderr(100ms)).c_str());
  quorvane::recording::jpeg::TurboJpegEncoder encoder;
  std::unique_ptr<wl::ShmBuffer> buffer;
  std::vector<double> delays, baselines;
  for (int i = 0; i < samples; ++i) {
    // A change, then the request: the record waits for the compositor to draw
    // it. A change taken by a tick before its request leaves the request
    // waiting: it is answered by another change, and never asked again (a
    // second request would be answered by the baseline's change, late).
    bool answered = false;
    for (int attempt = 0; attempt < 5 && !answered; ++attempt) {
      sway.message({"[app_id=test-bench] move position " + std::to_string(20 * (i % 10)) + " " + std::to_string(40 + attempt)});
      auto start = Clock::now();
      if (attempt == 0) streamer.writeStdin("frame\n");
      answered = read(1s);
      if (answered && attempt == 0) delays.push_back(ms(Clock::now() - start));
    }
    if (!answered) fail("requests not answered");
    sway.message({"[app_id=test-bench] move position " + std::to_string(20 * (i % 10) + 10) + " 60"});
    wl_display_dispatch_pending(c->display());
    baselines.push_back(baselineMs(*c, encoder, buffer));
  }
  double delay = median(delays), baseline = median(baselines);
  std::printf("%s: frame request to record median %.1f ms, one screencopy + encode %.1f ms, ratio %.2fx (target <= 1.2x)\n",
              size.c_str(), delay, baseline, delay / baseline);
}

}  // namespace

int main(int argc, char** argv) {
  int samples = argc > 1 ? std::max(3, std::atoi(argv[1])) : 25;
  for (const char* size : {"1280x720", "1920x1080"}) measure(size, samples);
}
