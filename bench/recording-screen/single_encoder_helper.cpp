// The streamer with one libjpeg-turbo encode of the whole picture per frame
// instead of its own encoder, so that the benchmark can compare the two in one
// run on one picture.
#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/clock.h"
#include "common/posix/process.h"
#include "bench/recording-screen/turbo_jpeg.h"
#include "recording-screen/posix/stdio.h"
#include "recording-screen/streamer.h"
#include "recording-screen/x11/capture.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  using namespace quorvane::recording;
  std::vector<std::string> args(argv + 1, argv + argc);
  auto* streamer = new Streamer(Platform{
      .capture = *new x11::X11Capture(),
      .encoder = *new jpeg::TurboJpegEncoder(),
      .input = *new posix::StdinInput(),
      .output = *new posix::StdoutOutput(),
      .process = *new quorvane::posix::PosixProcess(),
      .clock = *new quorvane::SystemClock(),
  });
  quorvane::Exit exit = streamer->run(args);
  if (write(STDERR_FILENO, exit.text.data(), exit.text.size()) < 0) exit.status = 1;
  _exit(exit.status);
}
