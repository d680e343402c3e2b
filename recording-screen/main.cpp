// quorvane-recording-screen DISPLAY_ID FRAME_RATE [hidden]
// Streams one monitor as JPEG frame records on standard output, the
// application's own windows left out; see the README for the protocol.
#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

#include "recording-screen/banded_jpeg.h"
#include "recording-screen/posix_process.h"
#include "recording-screen/streamer.h"
#include "recording-screen/x11/capture_x11.h"

namespace {

// Ends at once from whichever thread decided: no destructors race the
// threads that are still running.
[[noreturn]] void end(const quorvane::recording::Exit& exit) {
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
  using namespace quorvane::recording;
  std::vector<std::string> args(argv + 1, argv + argc);
  // Nothing here is torn down: the process ends in end().
  auto* capture = new x11::X11Capture();
  auto* encoder = new BandedJpegEncoder(kEncodeBands, kBandedMinPixels);
  auto* input = new StdinInput();
  auto* process = new PosixProcess();
  auto* streamer = new Streamer(Platform{*capture, *encoder, *input, *process});
  end(streamer->run(args));
}
