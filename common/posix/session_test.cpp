#include "common/posix/session.h"

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane::posix {
namespace {

// A socket at path; listening unless `stale` (then only its file is left).
// Connections are never accepted: each one stays in the backlog.
int makeSocket(const std::string& path, bool stale, int backlog = 64) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  if (stale) {
    close(fd);
    return -1;
  }
  EXPECT_EQ(listen(fd, backlog), 0);
  return fd;
}

TEST(SessionTest, WaylandOnlyWhereACompositorAnswers) {
  namespace fs = std::filesystem;
  std::string dir = fs::temp_directory_path() / ("quorvane-session-" + std::to_string(getpid()));
  fs::create_directories(dir);
  int live = makeSocket(dir + "/wayland-7", false);
  int fallback = makeSocket(dir + "/wayland-0", false);
  makeSocket(dir + "/wayland-9", true);
  // A compositor that hangs: its backlog is full, a connection would wait for ever.
  int hung = makeSocket(dir + "/wayland-3", false, 0);
  int waiting = connectSocket(dir + "/wayland-3", answerDeadline());
  ASSERT_GE(waiting, 0);

  using Env = std::map<std::string, std::string>;
  const struct { const char* what; Env env; bool wayland; } cases[] = {
      {"no Wayland variables", {{"XDG_RUNTIME_DIR", dir}}, false},
      {"a compositor on WAYLAND_DISPLAY", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-7"}}, true},
      {"an absolute socket path", {{"WAYLAND_DISPLAY", dir + "/wayland-7"}}, true},
      {"a socket left by a compositor that ended", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-9"}}, false},
      {"no such socket", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-5"}}, false},
      {"a name without a runtime folder", {{"WAYLAND_DISPLAY", "wayland-7"}}, false},
      {"session type wayland, default socket", {{"XDG_RUNTIME_DIR", dir}, {"XDG_SESSION_TYPE", "wayland"}}, true},
      {"session type x11", {{"XDG_RUNTIME_DIR", dir}, {"XDG_SESSION_TYPE", "x11"}}, false},
      {"a path too long for a socket", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", std::string(200, 'w')}}, false},
      {"a compositor that takes no connection", {{"XDG_RUNTIME_DIR", dir}, {"WAYLAND_DISPLAY", "wayland-3"}}, false},
  };
  for (const auto& c : cases) {
    auto env = [&](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    auto soon = [] { return std::chrono::steady_clock::now() + std::chrono::milliseconds(100); };
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(waylandSession(env, soon()), c.wayland) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << c.what;
    // X11 only where no compositor answers and DISPLAY names a server.
    Env withX = c.env;
    withX["DISPLAY"] = ":5";
    auto envX = [&](const char* name) -> const char* {
      auto it = withX.find(name);
      return it == withX.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(std::pair(windowServer(env, soon()), windowServer(envX, soon())),
              c.wayland ? std::pair(WindowServer::wayland, WindowServer::wayland)
                        : std::pair(WindowServer::none, WindowServer::x11))
        << c.what;
  }
  close(waiting);
  close(hung);
  close(live);
  close(fallback);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvane::posix
