// quorvane-ocr <languages> [layout] < image
#include <cstdlib>
#include <string>
#include <vector>
#include <omp.h>
#include <unistd.h>

#include "common/posix/fd_output.h"
#include "ocr/ocr.h"
#include "ocr/tesseract/backend.h"

int main(int argc, char** argv) {
  // One thread: on a small machine OpenMP's threads fight each other and make
  // recognition several times slower. It must happen before Tesseract runs;
  // the OpenMP environment variables are read too early to set from here.
  omp_set_max_active_levels(0);
  std::vector<std::string> args(argv, argv + argc);
  quorvane::posix::FdOutput out(STDOUT_FILENO);
  quorvane::ocr::TesseractBackend platform(STDIN_FILENO);
  return quorvane::ocr::runOcr(args, platform, out);
}
