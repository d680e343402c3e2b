// quorvane-recording-screen DISPLAY_ID FRAME_RATE [hidden]
// Streams one monitor as JPEG frame records on standard output, the
// application's own windows left out; see the README for the protocol. Here
// the backends are picked and handed to the core.
#include <csignal>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/clock.h"
#include "common/posix/session.h"
#include "common/posix/process.h"
#include "common/wayland/plasma_windows.h"
#include "recording-screen/jpeg/row_jpeg.h"
#include "recording-screen/kde/capture.h"
#include "recording-screen/posix/stdio.h"
#include "recording-screen/streamer.h"
#include "recording-screen/wayland/capture.h"
#include "recording-screen/x11/capture.h"

namespace {

// Ends at once from whichever thread decided: no destructors race the
// threads that are still running.
[[noreturn]] void end(const quorvane::Exit& exit) {
  std::string_view text = exit.text;
  while (!text.empty()) {
    ssize_t n = write(STDERR_FILENO, text.data(), text.size());
    if (n <= 0) break;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  _exit(exit.status);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that closed its end must show up as a write error, not kill us silently.
  std::signal(SIGPIPE, SIG_IGN);
  // libjpeg takes and frees its working memory for every piece of a frame.
  // glibc handed it back to the system each time (blocks over 128 KiB are
  // mapped apart, a free top of the heap is trimmed), and the next piece
  // faulted it in again: a quarter more CPU for a 5K frame in pieces of 128
  // rows. Kept, pieces cost what one whole encode does.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  using namespace quorvane::recording;
  posix::widenPipe(STDOUT_FILENO, posix::kRecordPipeBytes);
  std::vector<std::string> args(argv + 1, argv + argc);
  // Nothing here is torn down: the process ends in end().
  // In a Wayland session DISPLAY is XWayland, which sees no native window:
  // KWin's screenshots where its grant gives us its window list, else
  // screencopy, or the permission text when the compositor has neither.
  // Without a window server, the X11 backend finds none and says the same.
  CaptureService* capture = nullptr;
  kde::KWinCapture* kwin = nullptr;
  switch (quorvane::posix::windowServer()) {
    case quorvane::posix::WindowServer::wayland: {
      auto connection = quorvane::wayland::Connection::open();
      auto windows = connection ? quorvane::wayland::PlasmaWindowManagement::open(connection->display(),
                                                                                  quorvane::posix::answerDeadline())
                                : nullptr;
      if (windows) {
        capture = kwin = new kde::KWinCapture(std::move(connection), std::move(windows));
      } else {
        capture = new wayland::WaylandCapture(std::move(connection));
      }
      break;
    }
    case quorvane::posix::WindowServer::x11:
    case quorvane::posix::WindowServer::none: capture = new x11::X11Capture(); break;
  }
  auto* streamer = new Streamer(Platform{
      .capture = *capture,
      .encoder = *new jpeg::RowJpegEncoder(jpeg::kTwoThreadMinPixels),
      .input = *new posix::StdinInput(),
      .output = *new posix::StdoutOutput(),
      .process = *new quorvane::posix::PosixProcess(),
      .clock = *new quorvane::SystemClock(),
  });
  const auto exit = streamer->run(args);
  if (kwin) kwin->leave();
  end(exit);
}
