#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/x11/connection.h"
#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

// In a Wayland session whose DISPLAY still reaches an X server (XWayland), each
// program answers as without a window server. One row per way a program reaches
// the server (the window list, one window, the input extension, the screen).
TEST(WaylandSessionTest, EveryModeAnswersAsWithoutAWindowServerInsteadOfFromX) {
  XSession& x = sharedXSession();
  x.exportDisplay();
  FakeApp app(x);
  auto window = app.openWindow("color=3060c0 x=100 y=100 w=400 h=300 title=|a window X would report");
  ASSERT_TRUE(window);
  const std::string id = std::to_string(*window);
  auto monitors = x11::monitors(*x11::Connection::open(x.display().c_str()));
  ASSERT_FALSE(monitors.empty());
  auto list = run({binary("quorvane-input"), "--capture-windows"});  // the X server answers outside a Wayland session
  ASSERT_EQ(list.status, 0) << list.out;
  ASSERT_NE(list.out.find(id), std::string::npos) << list.out;

  // A compositor as far as session detection can tell: a socket that takes connections.
  const std::string path = std::filesystem::temp_directory_path() / ("quorvane-wayland-" + std::to_string(getpid()));
  int compositor = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{.sun_family = AF_UNIX, .sun_path = {}};
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  ASSERT_EQ(bind(compositor, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(compositor, 16), 0);
  SpawnOptions wayland;
  wayland.env = {{"WAYLAND_DISPLAY", path}};
  const auto error = [](const std::string& text) { return R"({"error":")" + text + R"(","type":"error"})" "\n"; };
  const struct { std::vector<std::string> argv; std::string out, err; int status; } rows[] = {
      {{"quorvane-input", "--capture-windows"}, error("无法读取当前桌面窗口边界"), "", 1},
      {{"quorvane-input", "--focus-window", id}, R"({"error":"所选窗口已关闭、最小化或无效"})" "\n", "", 1},
      {{"quorvane-input", "--scroll", id, "0.1", "0.1", "0.5", "0.5"}, error("目标窗口已关闭、最小化或无效"), "", 0},
      {{"quorvane-input", "--check"}, R"({"allowed":false})" "\n", "", 0},
      {{"quorvane-input", "window", id},
       error("需要在系统设置的隐私与安全性 → 输入监控中授权 Quorvane/输入辅助程序，然后重启应用；不采集普通输入文字。"), "", 2},
      {{"quorvane-recording-screen", std::to_string(monitors[0].id), "30"}, "", "需要屏幕录制权限，请在系统设置中授权 Quorvane 后重启应用", 1},
      {{"quorvane-desktop", "--mask-desktop"}, error("无法取得有效显示器，桌面图标未遮蔽"), "", 1},
  };
  for (const auto& row : rows) {
    auto argv = row.argv;
    argv[0] = binary(argv[0]);
    auto r = run(argv, "", wayland);
    EXPECT_EQ(std::tie(r.out, r.err, r.status), std::tie(row.out, row.err, row.status)) << row.argv[0] << " " << row.argv[1];
  }
  close(compositor);
  unlink(path.c_str());
}

}  // namespace
}  // namespace quorvane::test
