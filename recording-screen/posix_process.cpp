#include "recording-screen/posix_process.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace quorvane::recording {

namespace {
constexpr std::size_t kReadChunk = 4096;
}

std::optional<std::string> StdinInput::read() {
  char buffer[kReadChunk];
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }
}

std::int32_t PosixProcess::parentPid() { return static_cast<std::int32_t>(getppid()); }

std::int32_t PosixProcess::ownPid() { return static_cast<std::int32_t>(getpid()); }

std::optional<std::string> PosixProcess::writeOutput(std::string_view bytes) {
  // A pipe takes a large frame in pieces; the record is complete only when all are in.
  while (!bytes.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::string(std::strerror(errno));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return std::nullopt;
}

}  // namespace quorvane::recording
