// Drives quorvane-fake-app from a test: control and report pipes on fds 3 and 4,
// its standard streams (which a helper it starts inherits) held by the test.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {

class FakeApp {
 public:
  explicit FakeApp(const XSession& session);
  ~FakeApp();

  int pid() const { return process_->pid(); }
  Child& process() { return *process_; }

  // Sends one command; returns its reply line.
  std::optional<std::string> command(const std::string& line);
  // Opens a window (options as the fake application takes them); its id.
  std::optional<std::uint32_t> openWindow(const std::string& options);
  // Starts a helper as the fake application's child; its pid, or -1.
  int run(const std::vector<std::string>& argv);
  // The helper's exit status (waits for it), or -1 on time-out.
  int waitHelper(std::chrono::milliseconds timeout = std::chrono::seconds(15));
  // Report lines that are not replies (window logs), read so far or within the time-out.
  std::optional<std::string> reportLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // The helper's standard streams.
  void send(const std::string& bytes) { process_->writeStdin(bytes); }
  void closeHelperStdin() { process_->closeStdin(); }
  std::optional<std::string> stdoutLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return process_->readLine(timeout);
  }

 private:
  std::unique_ptr<Child> process_;
  int control_ = -1;
  int report_ = -1;
  std::string buffer_;

 public:
  // Window log lines seen while waiting for replies.
  std::vector<std::string> logs_;
};

}  // namespace quorvane::test
