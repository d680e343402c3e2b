// Benchmark of quorvane-recording-screen on a private display, at 1920x1080 and
// 5120x2880 with a desktop-like picture:
//  (a) delay from a "frame" line to the complete record, against a baseline of
//      one MIT-SHM grab plus one libjpeg-turbo encode of the same picture;
//  (b) the streamer's CPU over 10 s at 60 fps with no requests while the screen changes;
//  (c) its peak memory;
//  (d) the delay of (a) for the streamer built with a single libjpeg-turbo
//      encode per frame, asked in turn so that both see the same load;
//  (e) typing-like and full-screen changes, against one grab plus one encode.
// Run from the release build: bench_recording_screen [seconds for (b), default 10] [1080p|5k, default both]
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <ctime>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "bench/recording-screen/turbo_jpeg.h"
#include "common/x11/connection.h"
#include "recording-screen/jpeg/row_jpeg.h"
#include "tests/support/fake_app.h"
#include "tests/support/frames.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

using Clock = std::chrono::steady_clock;
using quorvane::x11::Connection;

namespace {

using quorvane::test::cpuSeconds;

constexpr int kSamples = 25;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A desktop-like root: gradient wallpaper, window-sized panels with rows of
// "text" strokes, so the JPEG has the detail a real screen has.
void paintDesktop(Connection& c, int width, int height) {
  xcb_connection_t* x = c.get();
  xcb_gcontext_t gc = xcb_generate_id(x);
  xcb_create_gc(x, gc, c.root(), 0, nullptr);
  auto fill = [&](xcb_drawable_t d, std::uint32_t colour, int rx, int ry, int rw, int rh) {
    xcb_change_gc(x, gc, XCB_GC_FOREGROUND, &colour);
    xcb_rectangle_t r{static_cast<std::int16_t>(rx), static_cast<std::int16_t>(ry), static_cast<std::uint16_t>(rw),
                      static_cast<std::uint16_t>(rh)};
    xcb_poly_fill_rectangle(x, d, gc, 1, &r);
  };
  for (int y = 0; y < height; y += 8) fill(c.root(), 0x203050 + ((y * 96 / height) << 8), 0, y, width, 8);
  unsigned seed = 7;
  for (int w = 0; w < 6; ++w) {
    int ww = width / 3, wh = height / 3, wx = (w % 3) * width / 3 + 10, wy = (w / 3) * height / 2 + 20;
    xcb_window_t win = xcb_generate_id(x);
    std::uint32_t white = 0xf4f4f0;
    xcb_create_window(x, XCB_COPY_FROM_PARENT, win, c.root(), static_cast<std::int16_t>(wx),
                      static_cast<std::int16_t>(wy), static_cast<std::uint16_t>(ww - 20), static_cast<std::uint16_t>(wh),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, c.screen()->root_visual, XCB_CW_BACK_PIXEL, &white);
    xcb_map_window(x, win);
    xcb_flush(x);
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    fill(win, 0x3a6ea5, 0, 0, ww, 24);
    for (int line = 40; line < wh - 10; line += 18) {
      for (int col = 10; col < ww - 60;) {
        seed = seed * 1103515245 + 12345;
        int word = 12 + static_cast<int>(seed >> 16) % 60;
        fill(win, (seed >> 8) % 5 == 0 ? 0x1060c0 : 0x202020, col, line, word, 10);
        col += word + 8;
      }
    }
  }
  free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
}

// One encode of the whole picture, into buffers the encoder keeps from frame to
// frame as a grabber that runs for long keeps them: fresh ones cost page faults
// every time, which would be timed as encoding. The size of the first part.
std::size_t encodedSize(quorvane::recording::Encoder& encoder, const unsigned char* bgrx, int width, int height) {
  quorvane::recording::PixelView view{bgrx, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                      static_cast<std::size_t>(width) * 4, std::nullopt};
  auto parts = encoder.encodeJpegParts(view);
  if (!parts) std::exit(2);
  return parts->front().size();
}

// The baseline: one MIT-SHM grab of the root plus one encode, as a minimal grabber would do it.
double baselineMs(Connection& c, int width, int height) {
  xcb_connection_t* x = c.get();
  std::size_t size = static_cast<std::size_t>(width) * height * 4;
  int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  auto* mem = static_cast<unsigned char*>(shmat(id, nullptr, 0));
  xcb_shm_seg_t seg = xcb_generate_id(x);
  free(xcb_request_check(x, xcb_shm_attach_checked(x, seg, static_cast<std::uint32_t>(id), 0)));
  shmctl(id, IPC_RMID, nullptr);
  quorvane::recording::jpeg::TurboJpegEncoder encoder;
  std::vector<double> times;
  for (int i = 0; i < kSamples; ++i) {
    auto start = Clock::now();
    free(xcb_shm_get_image_reply(x, xcb_shm_get_image(x, c.root(), 0, 0, static_cast<std::uint16_t>(width),
                                                      static_cast<std::uint16_t>(height), ~0u,
                                                      XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                                 nullptr));
    encodedSize(encoder, mem, width, height);
    times.push_back(ms(Clock::now() - start));
  }
  xcb_shm_detach(x, seg);
  shmdt(mem);
  return median(times);
}

// A streamer run the way the application runs it, by a fake application of
// its own, so that the benchmark's desktop windows are another application's
// and appear in the frames.
struct Helper {
  std::unique_ptr<quorvane::test::FakeApp> app;
  int pid = -1;
  std::unique_ptr<quorvane::test::RecordReader> records;
};

Helper startHelper(const quorvane::test::XSession& session, const std::string& program, const std::string& display,
                   const std::string& fps) {
  Helper h;
  h.app = std::make_unique<quorvane::test::FakeApp>(session);
  // The application must own a window to be left out; one pixel in a corner.
  if (!h.app->openWindow("x=0 y=0 w=1 h=1 color=000000")) std::exit(2);
  h.pid = h.app->run({quorvane::test::binary(program), display, fps, "hidden"});
  if (h.pid < 0) std::exit(2);
  h.records = std::make_unique<quorvane::test::RecordReader>(h.app->process());
  return h;
}

// The JPEG size of the next record, 0 when none starts in time.
std::size_t readRecord(Helper& h, std::chrono::milliseconds wait = std::chrono::seconds(30)) {
  return h.records->next(wait);
}

std::string peakMemory(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(f, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return line.substr(6);
  }
  return "?";
}

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Drawing into a redirected window reaches the root only when the server next
// composes, a little after the drawing requests are answered; a whole-screen
// change can still be on its way to the streamer then. So a request is sent
// only once the change is on the screen, as the baseline, grabbing afterwards,
// sees it: the bench's own damage on the root is reported in the same pass as
// the streamer's. Forgets what was reported before.
class ScreenChanges {
 public:
  explicit ScreenChanges(Connection& c) : x_(c.get()) {
    free(xcb_damage_query_version_reply(x_, xcb_damage_query_version(x_, 1, 1), nullptr));
    const auto* ext = xcb_get_extension_data(x_, &xcb_damage_id);
    if (!ext || !ext->present) std::exit(2);
    notify_ = static_cast<std::uint8_t>(ext->first_event + XCB_DAMAGE_NOTIFY);
    damage_ = xcb_generate_id(x_);
    xcb_damage_create(x_, damage_, c.root(), XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
    forget();
  }
  ~ScreenChanges() {
    xcb_damage_destroy(x_, damage_);
    xcb_flush(x_);
  }
  ScreenChanges(const ScreenChanges&) = delete;
  ScreenChanges& operator=(const ScreenChanges&) = delete;

  void forget() {
    xcb_damage_subtract(x_, damage_, XCB_NONE, XCB_NONE);
    free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));
    while (xcb_generic_event_t* e = xcb_poll_for_event(x_)) free(e);
  }
  // Whether damage was reported within a second.
  bool waitForOne() {
    auto until = Clock::now() + std::chrono::seconds(1);
    for (;;) {
      while (xcb_generic_event_t* e = xcb_poll_for_event(x_)) {
        bool damage = (e->response_type & 0x7F) == notify_;
        free(e);
        if (damage) {
          // The server wrote the streamer's report in the same pass, but may
          // not have finished the pass when ours arrived: the answer to a
          // later request comes after it.
          free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));
          return true;
        }
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return false;
      pollfd fd{xcb_get_file_descriptor(x_), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left));
    }
  }

 private:
  xcb_connection_t* x_;
  std::uint8_t notify_ = 0;
  xcb_damage_damage_t damage_ = 0;
};

// (e) Requests after a change, against one grab plus one full encode (no
// restart markers) of the same picture: a typing-like change of 300x40 with the
// cursor still, or a change of the whole screen. One line per scene:
// "<scene> <W>x<H>: delay ratio R, cpu ratio C, size ratio S, encoder alone E".
// E is the program's own encoder on the grabbed picture, whole and in this
// process, against the same baseline: what the delay ratio would be with no
// capture, no window list and no pipe, the floor this machine's cores allow.
void scene(const char* name, Connection& c, const quorvane::test::XSession& session, const std::string& id, int width,
           int height, const std::function<void(int)>& change) {
  xcb_connection_t* x = c.get();
  std::size_t size = static_cast<std::size_t>(width) * height * 4;
  int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  auto* mem = static_cast<unsigned char*>(shmat(shmid, nullptr, 0));
  xcb_shm_seg_t seg = xcb_generate_id(x);
  free(xcb_request_check(x, xcb_shm_attach_checked(x, seg, static_cast<std::uint32_t>(shmid), 0)));
  shmctl(shmid, IPC_RMID, nullptr);
  quorvane::recording::jpeg::TurboJpegEncoder encoder;
  quorvane::recording::jpeg::RowJpegEncoder own(quorvane::recording::jpeg::kTwoThreadMinPixels);
  // A slow tick, so that a change is rarely taken as a frame before its request.
  Helper h = startHelper(session, "quorvane-recording-screen", id, "15");
  readRecord(h);
  ScreenChanges changes(c);
  std::vector<double> delays, baseDelays, baseCpu, sizes, ownDelays;
  double helperCpu = 0;
  int step = 0;
  for (int i = 0; i < kSamples; ++i) {
    std::size_t n = 0;
    double delay = 0, cpuBefore = cpuSeconds(h.pid);
    // A change taken by a tick before its request is answered by the next change.
    for (int attempt = 0; attempt < 5 && n == 0; ++attempt) {
      changes.forget();
      change(step++);
      xcb_flush(x);
      if (!changes.waitForOne()) std::exit(2);
      auto start = Clock::now();
      h.app->send("frame\n");
      // Longer than any encode here; a late record must not be taken for the next.
      n = readRecord(h, std::chrono::seconds(3));
      delay = ms(Clock::now() - start);
    }
    helperCpu += cpuSeconds(h.pid) - cpuBefore;
    auto start = Clock::now();
    double cpuStart = threadCpuMs();
    free(xcb_shm_get_image_reply(x, xcb_shm_get_image(x, c.root(), 0, 0, static_cast<std::uint16_t>(width),
                                                      static_cast<std::uint16_t>(height), ~0u,
                                                      XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                                 nullptr));
    const std::size_t outSize = encodedSize(encoder, mem, width, height);
    baseCpu.push_back(threadCpuMs() - cpuStart);
    baseDelays.push_back(ms(Clock::now() - start));
    delays.push_back(delay);
    start = Clock::now();
    encodedSize(own, mem, width, height);
    ownDelays.push_back(ms(Clock::now() - start));
    sizes.push_back(static_cast<double>(n) / static_cast<double>(outSize));
  }
  h.app->closeHelperStdin();
  h.app->waitHelper();
  xcb_shm_detach(x, seg);
  shmdt(mem);
  double cpuPerRecord = helperCpu * 1e3 / kSamples;
  double baseCpuMean = 0;
  for (double v : baseCpu) baseCpuMean += v / kSamples;
  std::printf("%s %dx%d: delay ratio %.2f, cpu ratio %.2f, size ratio %.3f, encoder alone %.2f\n", name, width,
              height, median(delays) / median(baseDelays), cpuPerRecord / baseCpuMean, median(sizes),
              median(ownDelays) / median(baseDelays));
}

void scenes(Connection& c, const quorvane::test::XSession& session, const std::string& id, int width, int height) {
  xcb_connection_t* x = c.get();
  auto window = [&](int wx, int wy, int ww, int wh) {
    xcb_window_t w = xcb_generate_id(x);
    std::uint32_t colour = 0xffffff;
    xcb_create_window(x, XCB_COPY_FROM_PARENT, w, c.root(), static_cast<std::int16_t>(wx), static_cast<std::int16_t>(wy),
                      static_cast<std::uint16_t>(ww), static_cast<std::uint16_t>(wh), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      c.screen()->root_visual, XCB_CW_BACK_PIXEL, &colour);
    xcb_map_window(x, w);
    return w;
  };
  xcb_gcontext_t gc = xcb_generate_id(x);
  xcb_create_gc(x, gc, c.root(), 0, nullptr);
  auto fill = [&](xcb_drawable_t d, std::uint32_t colour, int rx, int ry, int rw, int rh) {
    xcb_change_gc(x, gc, XCB_GC_FOREGROUND, &colour);
    xcb_rectangle_t r{static_cast<std::int16_t>(rx), static_cast<std::int16_t>(ry), static_cast<std::uint16_t>(rw),
                      static_cast<std::uint16_t>(rh)};
    xcb_poly_fill_rectangle(x, d, gc, 1, &r);
  };
  // A line of text being typed: strokes in a 300x40 field.
  xcb_window_t field = window(width / 3, height / 2, 300, 40);
  scene("typing", c, session, id, width, height, [&](int step) {
    fill(field, 0xffffff, 0, 0, 300, 40);
    for (int k = 0; k <= step % 30; ++k) fill(field, 0x202020, 4 + k * 10, 10 + (k * 7) % 12, 6, 14);
  });
  xcb_destroy_window(x, field);
  // The whole screen: stripes that move by a step each time.
  xcb_window_t cover = window(0, 0, width, height);
  scene("full", c, session, id, width, height, [&](int step) {
    for (int y = 0; y < height; y += 24) fill(cover, ((y / 24 + step) % 2) ? 0x3a6ea5 : 0xf4f4f0, 0, y, width, 24);
    for (int y = 5; y < height; y += 18) fill(cover, 0x202020, (step * 37 + y) % 200, y, width / 2, 8);
  });
  xcb_destroy_window(x, cover);
  xcb_free_gc(x, gc);
  free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
}

void measure(int width, int height, double cpuWindow) {
  quorvane::test::XSessionOptions options;
  options.width = width;
  options.height = height;
  options.windowManager = false;
  quorvane::test::XSession session(options);
  session.exportDisplay();
  auto c = Connection::open(session.display().c_str());
  paintDesktop(*c, width, height);
  auto monitor = quorvane::x11::mainMonitor(quorvane::x11::monitors(*c));
  // Something that moves, as on a live screen, so frames keep being complete.
  xcb_window_t ticker = xcb_generate_id(c->get());
  std::uint32_t colour = 0xc04040;
  xcb_create_window(c->get(), XCB_COPY_FROM_PARENT, ticker, c->root(), 0, 0, 40, 40, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    c->screen()->root_visual, XCB_CW_BACK_PIXEL, &colour);
  xcb_map_window(c->get(), ticker);
  int step = 0;
  auto move = [&] {
    std::uint32_t xy[] = {static_cast<std::uint32_t>(100 + (step++ % 200) * 4), 40};
    xcb_configure_window(c->get(), ticker, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
    free(xcb_get_input_focus_reply(c->get(), xcb_get_input_focus(c->get()), nullptr));
  };
  move();
  double baseline = baselineMs(*c, width, height);

  // The program and the build with one libjpeg-turbo encode per frame, asked in turn.
  std::string id = std::to_string(monitor->id);
  Helper h = startHelper(session, "quorvane-recording-screen", id, "60");
  Helper before = startHelper(session, "bench_recording_screen_single", id, "60");
  std::size_t bytes = readRecord(h);
  readRecord(before);
  std::vector<double> delays, beforeDelays;
  auto ask = [&](Helper& helper, std::vector<double>& into) {
    move();
    auto start = Clock::now();
    helper.app->send("frame\n");
    std::size_t n = readRecord(helper);
    into.push_back(ms(Clock::now() - start));
    return n;
  };
  for (int i = 0; i < kSamples; ++i) {
    // Each goes first half of the time.
    if (i % 2 == 0) bytes = ask(h, delays);
    ask(before, beforeDelays);
    if (i % 2 == 1) bytes = ask(h, delays);
  }
  double delay = median(delays);
  double beforeDelay = median(beforeDelays);
  std::string beforePeak = peakMemory(before.pid);
  before.app->closeHelperStdin();
  before.app->waitHelper();

  double cpuStart = cpuSeconds(h.pid);
  auto until = Clock::now() + std::chrono::duration<double>(cpuWindow);
  auto wallStart = Clock::now();
  while (Clock::now() < until) {
    move();
    usleep(16000);
  }
  double cpu = (cpuSeconds(h.pid) - cpuStart) / std::chrono::duration<double>(Clock::now() - wallStart).count();
  std::string peak = peakMemory(h.pid);
  h.app->closeHelperStdin();
  h.app->waitHelper();
  scenes(*c, session, id, width, height);

  std::printf("%dx%d: frame delay median %.1f ms, baseline grab+encode %.1f ms, ratio %.2fx (target <= 1.2x); "
              "JPEG %zu bytes\n",
              width, height, delay, baseline, delay / baseline, bytes);
  std::printf("%dx%d: frame delay with the single-threaded encoder %.1f ms; program / single-threaded %.2fx; "
              "its peak memory%s\n",
              width, height, beforeDelay, delay / beforeDelay, beforePeak.c_str());
  std::printf("%dx%d: CPU at 60 fps, no requests, screen changing: %.2f%% of one core over %.0f s (target < 2%%); "
              "peak memory%s\n",
              width, height, cpu * 100, cpuWindow, peak.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  double window = argc > 1 ? std::atof(argv[1]) : 10.0;
  const std::string only = argc > 2 ? argv[2] : "";
  if (only != "1080p" && only != "5k" && !only.empty()) {
    std::fprintf(stderr, "usage: bench_recording_screen [seconds] [1080p|5k]\n");
    return 2;
  }
  if (only != "5k") measure(1920, 1080, window);
  if (only != "1080p") measure(5120, 2880, window);
}
