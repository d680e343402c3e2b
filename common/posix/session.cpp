#include "common/posix/session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane::posix {

namespace {

constexpr const char* kDefaultSocket = "wayland-0";

const char* fromProcess(const char* name) { return std::getenv(name); }

// Blocking connects wait for room in a listener's backlog as long as the
// send time-out allows; zero means for ever, so at least a microsecond.
bool limitWait(int fd, Deadline deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  timeval t{static_cast<time_t>(left.count() / 1000000), static_cast<suseconds_t>(left.count() % 1000000)};
  return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t) == 0;
}

}  // namespace

std::optional<std::string> waylandSocketPath(const Environment& env) {
  const char* name = env("WAYLAND_DISPLAY");
  if (!name || !*name) {
    const char* type = env("XDG_SESSION_TYPE");
    if (!type || std::strcmp(type, "wayland") != 0) return std::nullopt;
    name = kDefaultSocket;
  }
  if (name[0] == '/') return std::string(name);
  const char* runtime = env("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return std::nullopt;
  return std::string(runtime) + "/" + name;
}

int connectSocket(const std::string& path, Deadline deadline) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  bool connected = false;
  while (!connected && limitWait(fd, deadline)) {
    connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno != EINTR) break;
  }
  const timeval none{};
  if (!connected || setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none) != 0 ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool waylandSession(const Environment& env, Deadline deadline) {
  auto path = waylandSocketPath(env);
  if (!path) return false;
  // A socket file left by a compositor that ended refuses the connection.
  int fd = connectSocket(*path, deadline);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool waylandSession() { return waylandSession(fromProcess, answerDeadline()); }

WindowServer windowServer(const Environment& env, Deadline deadline) {
  if (waylandSession(env, deadline)) return WindowServer::wayland;
  const char* display = env("DISPLAY");
  return display && *display ? WindowServer::x11 : WindowServer::none;
}

WindowServer windowServer() { return windowServer(fromProcess, answerDeadline()); }

}  // namespace quorvane::posix
