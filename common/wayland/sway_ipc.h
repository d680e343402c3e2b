// A client of sway's IPC socket ($SWAYSOCK): one connection kept open, one
// request answered at a time, each within a time limit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::wayland {

inline constexpr std::uint32_t kSwayRunCommand = 0;
inline constexpr std::uint32_t kSwayGetTree = 4;
inline constexpr std::uint32_t kSwayGetConfig = 9;
// sway answers at once; one that does not is given this long per request.
inline constexpr int kSwayAnswerMs = 500;

class SwayIpc {
 public:
  // The socket at `socketPath`, when the process listening on it is
  // `peerPid`: any process may name a socket of its own in SWAYSOCK, and
  // what it answers decides which windows are left out of a recording.
  // nullptr when nothing (or another process) answers.
  static std::unique_ptr<SwayIpc> open(const std::string& socketPath, int timeoutMs, int peerPid);
  // The session's sway (SWAYSOCK), served by the compositor of our Wayland
  // connection (`compositorPid`, its peer); nullptr where there is none.
  static std::unique_ptr<SwayIpc> forSession(int compositorPid);
  ~SwayIpc();
  SwayIpc(const SwayIpc&) = delete;
  SwayIpc& operator=(const SwayIpc&) = delete;

  // The reply's payload; nullopt when sway did not answer in time, answered
  // another type or more than a sane reply holds. The connection is then
  // unusable and every later request fails.
  std::optional<std::string> request(std::uint32_t type, std::string_view payload = {});

 private:
  SwayIpc(int fd, int timeoutMs) : fd_(fd), timeoutMs_(timeoutMs) {}
  int fd_;
  int timeoutMs_;
};

}  // namespace quorvane::wayland
