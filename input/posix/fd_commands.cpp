#include "input/posix/fd_commands.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace quorvane::input::posix {

bool FdCommands::fill(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  // A closed pipe reports POLLHUP without POLLIN once drained; reading then gives the end.
  if (r <= 0 || !(p.revents & (POLLIN | POLLHUP))) return false;
  char chunk[1024];
  ssize_t n;
  do {
    n = read(fd_, chunk, sizeof chunk);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // a non-blocking input with nothing yet
  if (n <= 0) lines_.end();
  else lines_.feed({chunk, static_cast<size_t>(n)});
  return true;
}

// A signal or an error only ends the wait early: the caller looks at the time again.
void PollWait::wait(const std::vector<int>& descriptors, int timeoutMs) {
  std::vector<pollfd> fds;
  for (int fd : descriptors) fds.push_back(pollfd{fd, POLLIN, 0});
  poll(fds.data(), fds.size(), timeoutMs);
}

std::optional<std::string> FdCommands::next(int timeoutMs) {
  using namespace std::chrono;
  // The time-out covers the whole line: a writer that sends part of one and
  // then nothing must not hold the caller past its own deadlines.
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    if (auto line = lines_.take()) return line;
    if (lines_.ended()) return std::nullopt;
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now() + microseconds(999)).count();
    if (left < 0 || !fill(static_cast<int>(left))) return std::nullopt;
  }
}

}  // namespace quorvane::input::posix
