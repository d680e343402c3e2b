// quorvane-desktop against a compositor of our own, in this process, that answers the first two round trips
// (its globals, its output) and then reads and answers nothing more, keeping the connection open.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <thread>

#include <png.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

#include "tests/support/process.h"

// From the protocol code the helpers are built with (the client's header would clash with the server's).
extern "C" const wl_interface zwlr_layer_shell_v1_interface;

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int listenAt(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) | listen(fd, 4), 0) << path;
  return fd;
}

// wl_compositor, wl_shm, layer-shell and one 1280 x 720 output. Nothing after the second round trip is read,
// so no global needs an implementation.
class SilentCompositor {
 public:
  explicit SilentCompositor(const std::string& socketPath) : display_(wl_display_create()) {
    wl_display_add_socket_fd(display_, listenAt(socketPath));
    wl_display_init_shm(display_);
    auto bind = [](wl_client* client, void* interface, std::uint32_t version, std::uint32_t id) {
      wl_resource_create(client, static_cast<wl_interface*>(interface), int(version), id);
    };
    for (const wl_interface* interface : {&wl_compositor_interface, &zwlr_layer_shell_v1_interface}) {
      wl_global_create(display_, interface, 4, const_cast<wl_interface*>(interface), bind);
    }
    auto bindOutput = [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
      wl_resource* output = wl_resource_create(client, &wl_output_interface, int(version), id);
      wl_output_send_geometry(output, 0, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "", "", WL_OUTPUT_TRANSFORM_NORMAL);
      wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT, 1280, 720, 60000);
      wl_output_send_done(output);
    };
    wl_global_create(display_, &wl_output_interface, 4, nullptr, bindOutput);
    auto countSyncs = [](void* syncs, wl_protocol_logger_type type, const wl_protocol_logger_message* m) {
      if (type == WL_PROTOCOL_LOGGER_REQUEST && std::strcmp(m->message->name, "sync") == 0) {
        ++*static_cast<int*>(syncs);
      }
    };
    logger_ = wl_display_add_protocol_logger(display_, countSyncs, &syncs_);
    serving_ = std::async(std::launch::async, [this] {
      while (syncs_ < 2 && !stop_) {
        wl_event_loop_dispatch(wl_display_get_event_loop(display_), 50);
        wl_display_flush_clients(display_);
      }
    });
  }
  ~SilentCompositor() {
    stop_ = true;
    serving_.wait();
    wl_protocol_logger_destroy(logger_);
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);
  }
  bool silentWithin(std::chrono::milliseconds timeout) {
    return serving_.wait_for(timeout) == std::future_status::ready;
  }

 private:
  wl_display* display_;
  wl_protocol_logger* logger_;
  int syncs_ = 0;  // touched by the serving thread only, until it ends
  std::atomic<bool> stop_ = false;
  std::future<void> serving_;
};

class DesktopOnASilentCompositorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quorvane-silent-compositor-XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::vector<std::uint8_t> red(64 * 32 * 3, 0);
    for (std::size_t i = 0; i < red.size(); i += 3) red[i] = 0xFF;
    png_image image{};
    image.version = PNG_IMAGE_VERSION, image.width = 64, image.height = 32, image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, (dir_ + "/wall.png").c_str(), 0, red.data(), 0, nullptr));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The mask as a Wayland application starts it, on a compositor of its own; the wallpaper is a GSettings
  // choice, or with `swaySocket` what sway's IPC there says.
  std::unique_ptr<Child> startMask(const std::string& swaySocket = "") {
    std::filesystem::remove(dir_ + "/wayland-0");
    compositor_.reset();
    compositor_ = std::make_unique<SilentCompositor>(dir_ + "/wayland-0");
    std::filesystem::create_directories(dir_ + "/config/glib-2.0/settings");
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile")
        << (swaySocket.empty() ? "[org/gnome/desktop/background]\npicture-uri='file://" + dir_ + "/wall.png'" : "");
    SpawnOptions o;
    o.env = {{"WAYLAND_DISPLAY", dir_ + "/wayland-0"}, {"XDG_RUNTIME_DIR", dir_}, {"SWAYSOCK", swaySocket},
             {"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", dir_ + "/config"}};
    o.unsetEnv = {"DISPLAY", "WAYLAND_SOCKET"};
    started_ = Clock::now();
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, o);
  }
  static double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  }

  std::string dir_;
  std::unique_ptr<SilentCompositor> compositor_;
  Clock::time_point started_;
};

TEST_F(DesktopOnASilentCompositorTest, StopAndSigtermEndTheMaskAtOnceAndTheTimeLimitStillHolds) {
  for (int signal : {0, SIGTERM}) {
    auto mask = startMask();
    ASSERT_TRUE(compositor_->silentWithin(5s));
    signal ? mask->kill(signal) : mask->writeStdin("stop\n");
    // Ended, and well before the 10 s limit (a wait without a deadline never ends).
    EXPECT_EQ(mask->wait(5s), 0) << signal;
    EXPECT_EQ(mask->readAllStdout(1s), "") << signal;
  }
  auto mask = startMask();
  EXPECT_EQ(mask->readLine(15s), R"({"error":"桌面遮蔽超过 10 秒，已自动恢复","type":"error"})");
  double took = secondsSince(started_);
  EXPECT_EQ(mask->wait(5s), 1) << mask->readAllStderr(1s);
  EXPECT_EQ((std::pair{took > 9.9, took < 12.0}), std::pair(true, true)) << took;
}

// sway's IPC socket, served by this process (as the compositor's must be), holds the mask's request while the
// test sends SIGTERM.
TEST_F(DesktopOnASilentCompositorTest, SigtermWhileTheWallpaperIsReadEndsTheMaskQuietly) {
  int sway = listenAt(dir_ + "/sway-ipc");
  auto mask = startMask(dir_ + "/sway-ipc");
  pollfd p{sway, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  int client = accept(sway, nullptr, nullptr);
  timeval deadline{5, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
  char header[14];  // "i3-ipc", payload size, type: GET_CONFIG asks for nothing more
  ASSERT_EQ(recv(client, header, sizeof header, MSG_WAITALL), ssize_t(sizeof header));
  mask->kill(SIGTERM);
  std::string config = R"({"config":"output * bg )" + dir_ + R"(/wall.png fill\n"})";
  const std::uint32_t fields[2] = {std::uint32_t(config.size()), 9};
  std::string reply = "i3-ipc" + std::string(reinterpret_cast<const char*>(fields), sizeof fields) + config;
  ASSERT_EQ(send(client, reply.data(), reply.size(), MSG_NOSIGNAL), ssize_t(reply.size()));
  EXPECT_EQ(mask->wait(5s), 0);
  EXPECT_EQ(mask->readAllStdout(1s), "");
  close(client), close(sway);
}

}  // namespace
}  // namespace quorvane::test
