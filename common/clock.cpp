#include "common/clock.h"

#include <cerrno>
#include <cmath>
#include <ctime>

namespace quorvane {

double SystemClock::now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void SystemClock::sleep(double seconds) {
  if (!(seconds > 0)) return;
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(std::floor(seconds));
  ts.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace quorvane
