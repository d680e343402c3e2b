#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/posix/session.h"
#include "common/x11/connection.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

std::string error(const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})" "\n"; }

// A Unix socket at a path of its own that listens with room for `backlog`
// waiting connections and never accepts one.
class Listener {
 public:
  explicit Listener(int backlog) {
    path_ = std::filesystem::temp_directory_path() / ("quorvane-wayland-" + std::to_string(getpid()));
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un a = address();
    ok_ = bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 && listen(fd_, backlog) == 0;
  }
  ~Listener() {
    for (int fd : queued_) close(fd);
    close(fd_);
    unlink(path_.c_str());
  }
  // Connects until the backlog is full: a connection to it then waits for room that never comes.
  void fill() {
    for (int i = 0; i < 64; ++i) {
      int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      const sockaddr_un a = address();
      if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return void(close(fd));
      queued_.push_back(fd);
    }
  }
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  sockaddr_un address() const {
    sockaddr_un a{.sun_family = AF_UNIX, .sun_path = {}};
    path_.copy(a.sun_path, sizeof a.sun_path - 1);
    return a;
  }
  std::string path_;
  int fd_ = -1;
  bool ok_ = false;
  std::vector<int> queued_;
};

// In a Wayland session whose DISPLAY still reaches an X server (XWayland), each
// program asks the compositor, never X: one that does not answer gives the
// answers without a window server (the input monitor, which reads the input
// devices, asks for their group). One row per way a program reaches the server
// (the window list, one window, the input extension, the screen).
TEST(WaylandSessionTest, EveryModeAnswersAsWithoutAWindowServerInsteadOfFromX) {
  XSession& x = sharedXSession();
  x.exportDisplay();
  FakeApp app(x);
  auto window = app.openWindow("color=3060c0 x=100 y=100 w=400 h=300 title=|a window X would report");
  ASSERT_NE(window, std::nullopt);
  const std::string id = std::to_string(*window);
  auto monitors = x11::monitors(*x11::Connection::open(x.display().c_str()));
  ASSERT_NE(monitors.size(), 0u);
  auto list = run({binary("quorvane-input"), "--capture-windows"});  // the X server answers outside a Wayland session
  ASSERT_EQ(list.status, 0) << list.out;
  ASSERT_NE(list.out.find(id), std::string::npos) << list.out;

  // A compositor as far as session detection can tell: a socket that takes connections.
  Listener compositor(16);
  ASSERT_TRUE(compositor.ok());
  SpawnOptions wayland;
  wayland.env = {{"WAYLAND_DISPLAY", compositor.path()}};
  // The monitor reads the input devices in any Wayland session: their group is the permission.
  const std::string permission =
      "需要读取输入设备的权限：请把当前用户加入 input 组（sudo usermod -aG input $USER），"
      "重新登录后重启应用；不采集普通输入文字。";
  const struct { std::vector<std::string> argv; std::string out, err; int status; } rows[] = {
      {{"quorvane-input", "--capture-windows"}, error("无法读取当前桌面窗口边界"), "", 1},
      {{"quorvane-input", "--focus-window", id}, R"({"error":"所选窗口已关闭、最小化或无效"})"
                                                 "\n", "", 1},
      {{"quorvane-input", "--scroll", id, "0.1", "0.1", "0.5", "0.5"},
       error("目标窗口已关闭、最小化或无效"), "", 0},
      {{"quorvane-input", "--check"}, R"({"allowed":false})" "\n", "", 0},
      {{"quorvane-input", "window", id}, error(permission), "", 2},
      {{"quorvane-recording-screen", std::to_string(monitors[0].id), "30"}, "",
       "需要屏幕录制权限，请在系统设置中授权 Quorvane 后重启应用", 1},
      {{"quorvane-desktop", "--mask-desktop"}, error("无法取得有效显示器，桌面图标未遮蔽"), "", 1},
  };
  for (const auto& row : rows) {
    auto argv = row.argv;
    argv[0] = binary(argv[0]);
    auto r = run(argv, "", wayland);
    EXPECT_EQ(std::tie(r.out, r.err, r.status), std::tie(row.out, row.err, row.status))
        << row.argv[0] << " " << row.argv[1];
  }
}

// An X11 session with a WAYLAND_DISPLAY left behind whose listener takes no
// connection: asking it costs the probe's deadline, no more, and X answers.
TEST(StaleWaylandSocketTest, CheckAnswersFromXOnceTheProbesDeadlineHasPassed) {
  sharedXSession().exportDisplay();
  Listener stale(0);
  ASSERT_TRUE(stale.ok());
  stale.fill();
  SpawnOptions options;
  options.env = {{"WAYLAND_DISPLAY", stale.path()}};
  const auto start = std::chrono::steady_clock::now();
  Child check({binary("quorvane-input"), "--check"}, options);
  // The deadline, and as long again for starting a sanitizer build on a busy machine.
  EXPECT_EQ(check.readLine(2 * posix::kServerAnswer), R"({"allowed":true})");
  EXPECT_EQ(check.wait(), 0);
  const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("--check with a full-backlog WAYLAND_DISPLAY answered in %.2f s\n", took);
}

// The application dies while its monitor waits on that socket at start: the
// monitor still knows it as its parent, not whoever adopted it, and ends.
TEST(StaleWaylandSocketTest, AMonitorWhoseParentDiesWhileItStartsEndsQuietly) {
  XSession& x = sharedXSession();
  x.exportDisplay();
  Listener stale(0);
  ASSERT_TRUE(stale.ok());
  stale.fill();
  const auto monitors = x11::monitors(*x11::Connection::open(x.display().c_str()));
  ASSERT_NE(monitors.size(), 0u);
  FakeApp app(x);
  const int helper = app.run({"/usr/bin/env", "WAYLAND_DISPLAY=" + stale.path(), binary("quorvane-input"), "screen",
                              std::to_string(monitors[0].id)});
  ASSERT_GT(helper, 0);
  // Past its first steps and into the session probe: blocked in connect (system call 42).
  std::string call;
  for (auto until = std::chrono::steady_clock::now() + 10s; call != "42" && std::chrono::steady_clock::now() < until;) {
    std::ifstream("/proc/" + std::to_string(helper) + "/syscall") >> call;
    if (call != "42") std::this_thread::sleep_for(2ms);
  }
  ASSERT_EQ(call, "42");
  app.command("quit");
  EXPECT_EQ(app.process().readLine(2 * posix::kServerAnswer + 5s), R"({"type":"ready"})");
  // Its first sample sees the parent gone: no sample, and its output closes as it ends.
  EXPECT_EQ(app.process().readLine(), std::nullopt);
}

}  // namespace
}  // namespace quorvane::test
