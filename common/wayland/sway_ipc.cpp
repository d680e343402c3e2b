#include "common/wayland/sway_ipc.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/posix/session.h"

namespace quorvane::wayland {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 8;
// A tree of a few hundred windows is well under a megabyte; beyond this is no reply.
constexpr std::uint32_t kLargestReply = 16u << 20;

}  // namespace

std::unique_ptr<SwayIpc> SwayIpc::open(const std::string& socketPath, int timeoutMs, int peerPid) {
  int fd = posix::connectSocket(socketPath, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
  if (fd < 0) return nullptr;
  ucred peer{};
  socklen_t size = sizeof peer;
  if (peerPid <= 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.pid != peerPid) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<SwayIpc>(new SwayIpc(fd, timeoutMs));
}

std::unique_ptr<SwayIpc> SwayIpc::forSession(int compositorPid) {
  const char* socket = std::getenv("SWAYSOCK");
  return socket ? open(socket, kSwayAnswerMs, compositorPid) : nullptr;
}

SwayIpc::~SwayIpc() {
  if (fd_ >= 0) close(fd_);
}

std::optional<std::string> SwayIpc::request(std::uint32_t type, std::string_view payload) {
  if (fd_ < 0) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
  auto transfer = [&](char* data, std::size_t size, bool sending) {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = sending ? ::send(fd_, data + done, size - done, MSG_NOSIGNAL)
                          : ::recv(fd_, data + done, size - done, 0);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR && errno != EINPROGRESS)) return false;
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      pollfd p{fd_, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
      if (left <= 0 || poll(&p, 1, left) <= 0) return false;
    }
    return true;
  };
  std::string message(kHeaderBytes, '\0');
  std::memcpy(message.data(), kMagic, sizeof kMagic);
  const std::uint32_t fields[2] = {static_cast<std::uint32_t>(payload.size()), type};  // native byte order
  std::memcpy(message.data() + sizeof kMagic, fields, sizeof fields);
  message.append(payload);
  char header[kHeaderBytes];
  std::uint32_t reply[2] = {0, 0};
  bool ok = transfer(message.data(), message.size(), true) && transfer(header, sizeof header, false) &&
            std::memcmp(header, kMagic, sizeof kMagic) == 0;
  if (ok) std::memcpy(reply, header + sizeof kMagic, sizeof reply);
  std::string answer;
  ok = ok && reply[1] == type && reply[0] <= kLargestReply;
  if (ok) {
    answer.resize(reply[0]);
    ok = transfer(answer.data(), answer.size(), false);
  }
  if (!ok) {
    // A half-read reply would be taken for the next one.
    close(fd_);
    fd_ = -1;
    return std::nullopt;
  }
  return answer;
}

}  // namespace quorvane::wayland
