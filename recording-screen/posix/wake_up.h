// What ends a capture thread's wait on the window system from another thread:
// an eventfd polled beside the window system's socket.
#pragma once

#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace quorvane::recording::posix {

class WakeUp {
 public:
  WakeUp() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~WakeUp() { close(fd_); }
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  bool valid() const { return fd_ >= 0; }
  pollfd pollFor() const { return {fd_, POLLIN, 0}; }
  // From any thread; wakes the current or next poll.
  void wake() { [[maybe_unused]] auto n = write(fd_, &one_, sizeof one_); }
  // After a poll: takes the wake-ups it saw.
  void clear() {
    std::uint64_t count;
    [[maybe_unused]] auto n = read(fd_, &count, sizeof count);
  }

 private:
  static constexpr std::uint64_t one_ = 1;
  int fd_;
};

}  // namespace quorvane::recording::posix
