// Arbitrary bytes as sway's answer on its IPC socket, to a GET_TREE request:
// a reply is taken only whole, of the type asked for and within its bound,
// and a tree in it is read as the streamer reads it. The fuzzer plays sway on
// a socket of its own, so it is the peer the client checks for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/wayland/sway_ipc.h"
#include "common/wayland/sway_tree.h"

namespace {

struct Listener {
  std::string path = "/tmp/quorvane-fuzz-sway-" + std::to_string(getpid());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Listener() {
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    unlink(path.c_str());
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
      std::abort();
    }
  }
  ~Listener() { unlink(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Listener listener;
  auto ipc = quorvane::wayland::SwayIpc::open(listener.path, 1000, getpid());
  if (!ipc) std::abort();
  int sway = accept(listener.fd, nullptr, nullptr);
  // The socket's buffer holds a small answer; a larger one is cut there.
  const std::size_t sent = size ? static_cast<std::size_t>(send(sway, data, size, MSG_NOSIGNAL | MSG_DONTWAIT)) : 0;
  shutdown(sway, SHUT_WR);
  auto reply = ipc->request(quorvane::wayland::kSwayGetTree);
  close(sway);
  if (reply) {
    if (reply->size() + 14 > sent) std::abort();  // more than was sent
    quorvane::wayland::readSwayTree(*reply);
  }
  return 0;
}
