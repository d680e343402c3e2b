#include "input/posix/poll_wait.h"

#include <poll.h>

namespace quorvane::input::posix {

// A signal or an error only ends the wait early: the caller looks at the time again.
void PollWait::wait(const std::vector<int>& descriptors, int timeoutMs) {
  std::vector<pollfd> fds;
  for (int fd : descriptors) fds.push_back(pollfd{fd, POLLIN, 0});
  poll(fds.data(), fds.size(), timeoutMs);
}

}  // namespace quorvane::input::posix
