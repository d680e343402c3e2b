// A client of sway's IPC socket ($SWAYSOCK): one connection kept open, one
// request answered at a time, each within a time limit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::wayland {

inline constexpr std::uint32_t kSwayGetTree = 4;
inline constexpr std::uint32_t kSwayGetConfig = 9;

class SwayIpc {
 public:
  // nullptr when nothing listens at `socketPath`.
  static std::unique_ptr<SwayIpc> open(const std::string& socketPath, int timeoutMs);
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
