#include "input/fd_commands.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace quorvane::input {

bool FdCommands::hasLine() const { return buffer_.find('\n') != std::string::npos || buffer_.size() >= kMaxLine; }

InputWait FdCommands::wait(int timeoutMs) {
  // What is already buffered, or the end already seen, is ready without waiting.
  if (hasLine() || ended_) return {1, true};
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return {r, false};
  // A closed pipe reports POLLHUP without POLLIN once drained; reading then gives the end.
  return {r, (p.revents & (POLLIN | POLLHUP)) != 0};
}

bool FdCommands::fill() {
  char chunk[1024];
  ssize_t n;
  do {
    n = read(fd_, chunk, sizeof chunk);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<size_t>(n));
  return true;
}

std::optional<std::string> FdCommands::readLine() {
  while (!hasLine() && !ended_ && fill()) {
  }
  if (buffer_.empty()) return std::nullopt;
  size_t nl = buffer_.find('\n');
  size_t take = nl == std::string::npos ? std::min(buffer_.size(), kMaxLine) : std::min(nl, kMaxLine);
  std::string line = buffer_.substr(0, take);
  if (nl != std::string::npos && nl <= kMaxLine) {
    buffer_.erase(0, nl + 1);
  } else {
    // Cut: drop the rest of this over-long line as it arrives.
    buffer_.erase(0, take);
    while (true) {
      size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        buffer_.erase(0, end + 1);
        break;
      }
      buffer_.clear();
      if (ended_ || !fill()) break;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace quorvane::input
