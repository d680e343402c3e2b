#include "recording-screen/posix/stdio.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <cstring>
#include <vector>
#include <poll.h>
#include <unistd.h>

namespace quorvane::recording::posix {

namespace {
constexpr std::size_t kReadChunk = 4096;
}

std::optional<std::string> StdinInput::read() {
  char buffer[kReadChunk];
  for (;;) {
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, -1) >= 0 || errno == EINTR) continue;
    }
    if (n <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<std::string> StdoutOutput::write(std::span<const std::string_view> parts) {
  return writeAll(STDOUT_FILENO, parts);
}

void widenPipe(int fd, int bytes) {
  const int now = ::fcntl(fd, F_GETPIPE_SZ);
  if (now >= 0 && now < bytes) ::fcntl(fd, F_SETPIPE_SZ, bytes);
}

std::optional<std::string> writeAll(int fd, std::span<const std::string_view> parts, GatherWrite gather) {
  // The record is complete only when every piece is in.
  std::vector<iovec> pending;
  for (auto part : parts) {
    if (!part.empty()) pending.push_back({const_cast<char*>(part.data()), part.size()});
  }
  std::size_t first = 0;
  while (first < pending.size()) {
    std::size_t count = 0, bytes = 0;
    while (first + count < pending.size() && count < IOV_MAX && bytes < kWriteChunkBytes) {
      bytes += pending[first + count++].iov_len;
    }
    // The last part offered may be cut short for this call.
    iovec& last = pending[first + count - 1];
    const std::size_t whole = last.iov_len;
    if (bytes > kWriteChunkBytes) last.iov_len -= bytes - kWriteChunkBytes;
    ssize_t n = gather(fd, pending.data() + first, static_cast<int>(count));
    last.iov_len = whole;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::string(std::strerror(errno));
    auto done = static_cast<std::size_t>(n);
    while (first < pending.size() && done >= pending[first].iov_len) done -= pending[first++].iov_len;
    if (first < pending.size()) {
      pending[first].iov_base = static_cast<char*>(pending[first].iov_base) + done;
      pending[first].iov_len -= done;
    }
  }
  return std::nullopt;
}

}  // namespace quorvane::recording::posix
