// quorvane-ocr <languages> [layout] < image
#include <cstdlib>
#include <malloc.h>
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
  // Memory freed is kept for reuse, not given back to the system to be
  // faulted in again: the networks and the engine allocate and free large
  // buffers, and on a virtual machine a page fault costs about 10 us (a
  // 1280x800 Chinese screenshot took 62,000 of them, 38,000 with these).
  // Above the threshold, blocks are still mapped on their own.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  std::vector<std::string> args(argv, argv + argc);
  quorvane::posix::FdOutput out(STDOUT_FILENO);
  quorvane::ocr::TesseractBackend platform(STDIN_FILENO);
  return quorvane::ocr::runOcr(args, platform, out);
}
