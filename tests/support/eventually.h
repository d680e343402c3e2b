// Waiting on observable state in end-to-end tests: window managers and X
// servers act asynchronously, so a test polls for the state it expects.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace quorvane::test {

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

}  // namespace quorvane::test
