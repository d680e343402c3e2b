// quorvane-desktop against a compositor that stops answering: a small one of our own, in this process, that
// answers the first round trips (its globals and its output) and then reads and answers nothing more, though
// it keeps the connection open. The mask must still obey stop, SIGTERM and its time limit.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
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

// A listening Unix socket at `path`, or -1.
int listenAt(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The compositor: wl_compositor, wl_shm, layer-shell and one 1280 x 720 output, silent once it has answered
// `answeredSyncs` round trips. Requests after that are never read, so no global needs an implementation.
class SilentCompositor {
 public:
  SilentCompositor(const std::string& socketPath, int answeredSyncs) : syncsLeft_(answeredSyncs) {
    display_ = wl_display_create();
    wl_display_add_socket_fd(display_, listenAt(socketPath));
    wl_display_init_shm(display_);
    for (const wl_interface* interface : {&wl_compositor_interface, &zwlr_layer_shell_v1_interface}) {
      wl_global_create(display_, interface, 4, const_cast<wl_interface*>(interface), bindSilently);
    }
    wl_global_create(display_, &wl_output_interface, 4, nullptr, bindOutput);
    logger_ = wl_display_add_protocol_logger(display_, countSyncs, this);
    thread_ = std::thread([this] { serve(); });
  }
  ~SilentCompositor() {
    stop_ = true;
    thread_.join();
    wl_protocol_logger_destroy(logger_);
    wl_display_destroy_clients(display_);
    wl_display_destroy(display_);
  }

  // Whether it has gone silent by the time-out.
  bool waitUntilSilent(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return silentNow_.wait_for(lock, timeout, [this] { return silent_; });
  }

 private:
  static void bindSilently(wl_client* client, void* interface, std::uint32_t version, std::uint32_t id) {
    wl_resource_create(client, static_cast<const wl_interface*>(interface), static_cast<int>(version), id);
  }
  static void bindOutput(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
    wl_resource* output = wl_resource_create(client, &wl_output_interface, static_cast<int>(version), id);
    wl_output_send_geometry(output, 0, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "fake", "fake",
                            WL_OUTPUT_TRANSFORM_NORMAL);
    wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT | WL_OUTPUT_MODE_PREFERRED, 1280, 720, 60000);
    wl_output_send_scale(output, 1);
    if (version >= WL_OUTPUT_NAME_SINCE_VERSION) wl_output_send_name(output, "FAKE-1");
    wl_output_send_done(output);
  }
  static void countSyncs(void* data, wl_protocol_logger_type type, const wl_protocol_logger_message* message) {
    auto* self = static_cast<SilentCompositor*>(data);
    if (type == WL_PROTOCOL_LOGGER_REQUEST && std::strcmp(message->message->name, "sync") == 0 &&
        std::strcmp(wl_resource_get_class(message->resource), "wl_display") == 0) {
      --self->syncsLeft_;
    }
  }
  void serve() {
    wl_event_loop* loop = wl_display_get_event_loop(display_);
    while (!stop_ && syncsLeft_ > 0) {
      wl_event_loop_dispatch(loop, 50);
      wl_display_flush_clients(display_);
    }
    {
      std::lock_guard lock(mutex_);
      silent_ = true;
    }
    silentNow_.notify_all();
    while (!stop_) std::this_thread::sleep_for(10ms);  // holds the connections, reads nothing
  }

  wl_display* display_;
  wl_protocol_logger* logger_;
  std::atomic<int> syncsLeft_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::condition_variable silentNow_;
  bool silent_ = false;
  std::thread thread_;
};

// sway's IPC socket, served by this process as the compositor's own: it takes the first request and holds it
// until the test answers.
class HeldSwayIpc {
 public:
  explicit HeldSwayIpc(const std::string& path) : listener_(listenAt(path)) {}
  ~HeldSwayIpc() {
    if (client_ >= 0) close(client_);
    close(listener_);
  }
  // Whether a whole request (header and payload) arrived in time.
  bool takeRequest(std::chrono::milliseconds timeout) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    char header[14];
    std::uint32_t length = 0;
    if (!readAll(header, sizeof header)) return false;
    std::memcpy(&length, header + 6, 4);
    std::string payload(length, '\0');
    return readAll(payload.data(), length);
  }
  void answer(std::uint32_t type, const std::string& payload) {
    std::string reply = "i3-ipc";
    const std::uint32_t fields[2] = {static_cast<std::uint32_t>(payload.size()), type};
    reply.append(reinterpret_cast<const char*>(fields), sizeof fields);
    reply += payload;
    ASSERT_EQ(send(client_, reply.data(), reply.size(), MSG_NOSIGNAL), static_cast<ssize_t>(reply.size()));
  }

 private:
  bool readAll(char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
      ssize_t n = recv(client_, data + done, size - done, 0);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  int listener_;
  int client_ = -1;
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
    startCompositor();
  }
  void TearDown() override {
    compositor_.reset();
    std::filesystem::remove_all(dir_);
  }

  void startCompositor() {
    compositor_.reset();
    std::filesystem::remove(dir_ + "/wayland-silent");
    compositor_ = std::make_unique<SilentCompositor>(dir_ + "/wayland-silent", 2);
  }

  // The mask as a Wayland application starts it; the wallpaper is a GSettings choice unless sway is asked.
  std::unique_ptr<Child> startMask(bool withSway = false) {
    std::filesystem::create_directories(dir_ + "/config/glib-2.0/settings");
    std::ofstream(dir_ + "/config/glib-2.0/settings/keyfile")
        << (withSway ? "" : "[org/gnome/desktop/background]\npicture-uri='file://" + dir_ + "/wall.png'\n");
    SpawnOptions o;
    o.env = {{"WAYLAND_DISPLAY", dir_ + "/wayland-silent"}, {"XDG_RUNTIME_DIR", dir_},
             {"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", dir_ + "/config"}};
    o.unsetEnv = {"DISPLAY", "WAYLAND_SOCKET"};
    if (withSway) {
      o.env["SWAYSOCK"] = dir_ + "/sway-ipc";
    } else {
      o.unsetEnv.push_back("SWAYSOCK");
    }
    started_ = Clock::now();
    return std::make_unique<Child>(std::vector<std::string>{binary("quorvane-desktop"), "--mask-desktop"}, o);
  }
  static double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

  std::string dir_;
  std::unique_ptr<SilentCompositor> compositor_;
  Clock::time_point started_;
};

TEST_F(DesktopOnASilentCompositorTest, StopAndSigtermEndTheMaskAtOnce) {
  for (bool bySignal : {false, true}) {
    startCompositor();
    auto mask = startMask();
    ASSERT_TRUE(compositor_->waitUntilSilent(5s));
    auto asked = Clock::now();
    if (bySignal) mask->kill(SIGTERM);
    if (!bySignal) mask->writeStdin("stop\n");
    EXPECT_EQ(mask->wait(5s), 0) << bySignal;
    EXPECT_LT(secondsSince(asked), 1.0) << bySignal;
    EXPECT_EQ(mask->readAllStdout(1s), "") << bySignal;
  }
}

TEST_F(DesktopOnASilentCompositorTest, TheTimeLimitStillEndsTheMask) {
  auto mask = startMask();
  ASSERT_TRUE(compositor_->waitUntilSilent(5s));
  EXPECT_EQ(mask->readLine(15s), R"({"error":"桌面遮蔽超过 10 秒，已自动恢复","type":"error"})");
  double took = secondsSince(started_);
  EXPECT_EQ(mask->wait(5s), 1) << mask->readAllStderr(1s);
  EXPECT_EQ((std::pair{took > 9.9, took < 11.0}), std::pair(true, true)) << took;
}

TEST_F(DesktopOnASilentCompositorTest, SigtermWhileTheWallpaperIsReadEndsTheMaskQuietly) {
  HeldSwayIpc sway(dir_ + "/sway-ipc");
  auto mask = startMask(true);
  ASSERT_TRUE(sway.takeRequest(5s));  // the mask is reading sway's configuration for the wallpaper
  mask->kill(SIGTERM);
  sway.answer(9, R"({"config":"output * bg )" + dir_ + R"(/wall.png fill\n"})");
  EXPECT_EQ(mask->wait(5s), 0);
  EXPECT_EQ(mask->readAllStdout(1s), "");
}

}  // namespace
}  // namespace quorvane::test
