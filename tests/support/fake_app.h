// Drives quorvane-fake-app from a test: control and report pipes on fds 3 and 4,
// its standard streams (which a helper it starts inherits) held by the test.
#pragma once

#include <cstdint>
#include <memory>

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
  int waitHelper(milliseconds timeout = std::chrono::seconds(15));
  // The helper's standard streams.
  void send(const std::string& bytes) { process_->writeStdin(bytes); }
  void closeHelperStdin() { process_->closeStdin(); }
  std::optional<std::string> stdoutLine(milliseconds timeout = std::chrono::seconds(10)) {
    return process_->readLine(timeout);
  }

  std::vector<std::string> logs_;  // window log lines seen while waiting for replies

 private:
  // Sends a line; the first report line `answers` accepts, keeping the others in logs_.
  std::optional<std::string> exchange(const std::string& line, bool (*answers)(const std::string&),
                                      milliseconds timeout);

  std::unique_ptr<Child> process_;
  int control_ = -1, report_ = -1;
  std::string buffer_;
};

}  // namespace quorvane::test
