// What ends a capture thread's wait on the window system from another thread:
// an eventfd polled beside the window system's socket.
#pragma once

#include <poll.h>

namespace quorvane::recording::posix {

class WakeUp {
 public:
  WakeUp();
  ~WakeUp();
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  bool valid() const { return fd_ >= 0; }
  pollfd pollFor() const { return {fd_, POLLIN, 0}; }
  // From any thread; wakes the current or next poll.
  void wake();
  // After a poll: takes the wake-ups it saw.
  void clear();

 private:
  int fd_;
};

}  // namespace quorvane::recording::posix
