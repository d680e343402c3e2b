// The streamer as it was before frames were encoded in bands: the same program
// with the single-threaded encoder, so that the benchmark can compare the two
// in one run on one picture.
#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

#include "recording-screen/jpeg_encoder.h"
#include "recording-screen/posix_process.h"
#include "recording-screen/streamer.h"
#include "recording-screen/x11/capture_x11.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  using namespace quorvane::recording;
  std::vector<std::string> args(argv + 1, argv + argc);
  auto* capture = new x11::X11Capture();
  auto* encoder = new TurboJpegEncoder();
  auto* input = new StdinInput();
  auto* process = new PosixProcess();
  auto* streamer = new Streamer(Platform{*capture, *encoder, *input, *process});
  Exit exit = streamer->run(args);
  if (write(STDERR_FILENO, exit.text.data(), exit.text.size()) < 0) exit.status = 1;
  _exit(exit.status);
}
