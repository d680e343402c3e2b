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

// A compositor as far as session detection can tell: a socket that takes connections.
class ListeningSocket {
 public:
  explicit ListeningSocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd_, 16), 0);
  }
  ~ListeningSocket() {
    close(fd_);
    unlink(path_.c_str());
  }

 private:
  std::string path_;
  int fd_;
};

TEST(WaylandSessionTest, EveryModeAnswersAsWithoutAWindowServerInsteadOfFromX) {
  XSession& x = sharedXSession();
  x.exportDisplay();
  FakeApp app(x);
  auto window = app.openWindow("color=3060c0 x=100 y=100 w=400 h=300 title=|a window X would report");
  ASSERT_TRUE(window);
  const std::string id = std::to_string(*window);
  auto monitors = x11::monitors(*x11::Connection::open(x.display().c_str()));
  ASSERT_FALSE(monitors.empty());
  const std::string display = std::to_string(monitors[0].id);

  // The X server answers as long as the session is not a Wayland one.
  auto list = run({binary("quorvane-input"), "--capture-windows"});
  ASSERT_EQ(list.status, 0) << list.out;
  ASSERT_NE(list.out.find(id), std::string::npos) << list.out;

  const std::string socketPath =
      std::filesystem::temp_directory_path() / ("quorvane-wayland-" + std::to_string(getpid()));
  ListeningSocket compositor(socketPath);
  SpawnOptions wayland;
  wayland.env = {{"WAYLAND_DISPLAY", socketPath}};

  const struct {
    std::vector<std::string> argv;
    std::string out, err;
    int status;
  } rows[] = {
      {{"quorvane-input", "--capture-windows"}, R"({"error":"无法读取当前桌面窗口边界","type":"error"})" "\n", "", 1},
      {{"quorvane-input", "--active-window"}, R"({"error":"无法读取当前桌面窗口","type":"error"})" "\n", "", 1},
      {{"quorvane-input", "--window-info", id},
       R"({"error":"目标窗口已关闭、最小化或无法读取坐标","type":"error"})" "\n", "", 1},
      {{"quorvane-input", "--focus-window", id}, R"({"error":"所选窗口已关闭、最小化或无效"})" "\n", "", 1},
      {{"quorvane-input", "--check"}, R"({"allowed":false})" "\n", "", 0},
      {{"quorvane-input", "--scroll", id, "0.1", "0.1", "0.5", "0.5"},
       R"({"error":"目标窗口已关闭、最小化或无效","type":"error"})" "\n", "", 0},
      {{"quorvane-input", "window", id},
       R"({"error":"需要在系统设置的隐私与安全性 → 输入监控中授权 Quorvane/输入辅助程序，然后重启应用；不采集普通输入文字。","type":"error"})"
       "\n",
       "", 2},
      {{"quorvane-recording-screen", display, "30"}, "", "需要屏幕录制权限，请在系统设置中授权 Quorvane 后重启应用", 1},
      {{"quorvane-desktop", "--mask-desktop"}, R"({"error":"无法取得有效显示器，桌面图标未遮蔽","type":"error"})" "\n", "", 1},
  };
  for (const auto& row : rows) {
    auto argv = row.argv;
    argv[0] = binary(argv[0]);
    auto r = run(argv, "", wayland);
    EXPECT_EQ(r.out, row.out) << row.argv[0] << " " << row.argv[1];
    EXPECT_EQ(r.err, row.err) << row.argv[0] << " " << row.argv[1];
    EXPECT_EQ(r.status, row.status) << row.argv[0] << " " << row.argv[1];
  }
}

}  // namespace
}  // namespace quorvane::test
