#include "common/wayland/sway_ipc.h"

#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvane::wayland {
namespace {

std::string message(std::uint32_t type, const std::string& payload, std::uint32_t declared) {
  std::string m = "i3-ipc";
  m.append(reinterpret_cast<const char*>(&declared), 4);
  m.append(reinterpret_cast<const char*>(&type), 4);
  return m + payload;
}

// The test plays sway on a socket of its own: it is the peer the client checks for.
struct SwaySocket : ::testing::Test {
  void SetUp() override {
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    unlink(path.c_str());
    listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0);
  }
  void TearDown() override {
    close(listener);
    unlink(path.c_str());
  }
  const std::string path = std::filesystem::temp_directory_path() / ("quorvane-sway-ipc-" + std::to_string(getpid()));
  int listener = -1;
};

TEST_F(SwaySocket, ARequestTakesOnlyAWholeReplyOfItsType) {
  const std::string good = R"({"config":"x"})";
  const auto size = static_cast<std::uint32_t>(good.size());
  const struct { const char* name; std::string reply; std::optional<std::string> expected; } cases[] = {
      {"a reply", message(9, good, size), good},
      {"cut short", message(9, good, size + 10), std::nullopt},
      {"another message type", message(0, good, size), std::nullopt},
      {"absurd length", message(9, good, 0xFFFFFFF0u), std::nullopt},
      {"bad magic", "i3-IPC" + message(9, good, size).substr(6), std::nullopt},
  };
  for (const auto& c : cases) {
    auto ipc = SwayIpc::open(path, 2000, getpid());
    ASSERT_NE(ipc, nullptr);
    auto reply = std::async(std::launch::async, [&] { return ipc->request(kSwayGetConfig); });
    int sway = accept(listener, nullptr, nullptr);
    std::string request(14, '\0');
    EXPECT_EQ(recv(sway, request.data(), request.size(), MSG_WAITALL), 14) << c.name;
    EXPECT_EQ(request, message(9, "", 0)) << c.name;
    EXPECT_EQ(send(sway, c.reply.data(), c.reply.size(), MSG_NOSIGNAL), ssize_t(c.reply.size())) << c.name;
    close(sway);
    EXPECT_EQ(reply.get(), c.expected) << c.name;
    if (!c.expected) {
      EXPECT_EQ(ipc->request(kSwayGetConfig), std::nullopt) << c.name;  // the connection is spent
    }
  }
}

TEST_F(SwaySocket, OnlyTheCompositorsOwnSocketIsTrusted) {
  EXPECT_EQ(std::tuple(SwayIpc::open(path, 100, getpid()) != nullptr, SwayIpc::open(path, 100, getpid() + 1) != nullptr,
                       SwayIpc::open(path, 100, 0) != nullptr, SwayIpc::open(path + "-none", 100, getpid()) != nullptr),
            std::tuple(true, false, false, false));
}

}  // namespace
}  // namespace quorvane::wayland
