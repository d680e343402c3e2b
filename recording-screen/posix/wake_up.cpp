#include "recording-screen/posix/wake_up.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quorvane::recording::posix {

WakeUp::WakeUp() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeUp::~WakeUp() {
  if (fd_ >= 0) close(fd_);
}

void WakeUp::wake() {
  std::uint64_t one = 1;
  if (fd_ >= 0) {
    [[maybe_unused]] auto n = write(fd_, &one, sizeof one);
  }
}

void WakeUp::clear() {
  std::uint64_t count;
  if (fd_ >= 0) {
    [[maybe_unused]] auto n = read(fd_, &count, sizeof count);
  }
}

}  // namespace quorvane::recording::posix
