// Waiting on observable state in end-to-end tests: window managers and X
// servers act asynchronously, so a test waits for the state it expects. The
// condition is checked again whenever a private X server of this process
// reports a change of its root window (the window manager mapping, moving,
// listing or restacking a window), never on a timer alone.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace quorvane::test {

// Changes on the root window of one display: structure and properties.
class RootWatch {
 public:
  explicit RootWatch(const std::string& display);
  ~RootWatch();
  // Waits up to `ms` for the next change (false on time-out or a lost display) and consumes it.
  bool next(int ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace quorvane::test
