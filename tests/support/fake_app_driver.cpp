#include "tests/support/fake_app.h"

#include <chrono>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvane::test {

FakeApp::FakeApp(const XSession& session) {
  int control[2], report[2];
  if (pipe(control) != 0 || pipe(report) != 0) throw std::runtime_error("pipe failed");
  SpawnOptions options;
  options.env["DISPLAY"] = session.display();
  options.extraFds = {{3, control[0]}, {4, report[1]}};
  process_ = std::make_unique<Child>(
      std::vector<std::string>{binary("quorvane-fake-app"), "--control-fd", "3", "--report-fd", "4"}, options);
  close(control[0]);
  close(report[1]);
  control_ = control[1];
  report_ = report[0];
}

FakeApp::~FakeApp() {
  if (control_ >= 0) close(control_);
  if (report_ >= 0) close(report_);
}

std::optional<std::string> FakeApp::reportLine(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{report_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char chunk[4096];
    ssize_t n = read(report_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::optional<std::string> FakeApp::command(const std::string& line) {
  std::string text = line + "\n";
  if (write(control_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return std::nullopt;
  // Window logs may come in between; a reply is the first line that is not one.
  for (;;) {
    auto reply = reportLine(std::chrono::seconds(10));
    if (!reply) return std::nullopt;
    if (reply->rfind("wheel ", 0) == 0 || reply->rfind("button ", 0) == 0 || reply->rfind("motion ", 0) == 0) {
      logs_.push_back(*reply);
      continue;
    }
    return reply;
  }
}

std::optional<std::uint32_t> FakeApp::openWindow(const std::string& options) {
  auto reply = command("window " + options);
  if (!reply || reply->rfind("window ", 0) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(reply->substr(7)));
}

int FakeApp::run(const std::vector<std::string>& argv) {
  // Arguments travel separated by the ASCII unit separator, so they may hold blanks.
  std::string line = "run";
  for (const auto& a : argv) line += "\x1f" + a;
  auto reply = command(line);
  if (!reply || reply->rfind("pid ", 0) != 0) return -1;
  return std::stoi(reply->substr(4));
}

int FakeApp::waitHelper(std::chrono::milliseconds timeout) {
  std::string text = "wait\n";
  if (write(control_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return -1;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;
    auto reply = reportLine(left);
    if (!reply) return -1;
    if (reply->rfind("exit ", 0) == 0) return std::stoi(reply->substr(5));
    logs_.push_back(*reply);
  }
}

}  // namespace quorvane::test
