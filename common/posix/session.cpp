#include "common/posix/session.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane::posix {

namespace {

constexpr const char* kDefaultSocket = "wayland-0";

// A compositor answers when its socket takes a connection; a socket file left
// by one that ended refuses it.
bool answers(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

bool waylandSession(const Environment& env) {
  const char* name = env("WAYLAND_DISPLAY");
  if (!name || !*name) {
    const char* type = env("XDG_SESSION_TYPE");
    if (!type || std::strcmp(type, "wayland") != 0) return false;
    name = kDefaultSocket;
  }
  if (name[0] == '/') return answers(name);
  const char* runtime = env("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  return answers(std::string(runtime) + "/" + name);
}

bool waylandSession() { return waylandSession([](const char* name) { return std::getenv(name); }); }

}  // namespace quorvane::posix
