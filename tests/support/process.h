// Child processes for end-to-end tests: the real binaries started the way the
// application starts them, with pipes on their standard streams.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::test {

struct SpawnOptions {
  std::map<std::string, std::string> env;  // added to (or replacing in) the test's environment
  std::vector<std::string> unsetEnv;
  bool pipeStdin = true;
  // Extra descriptors handed to the child as-is: child fd number -> our fd.
  std::map<int, int> extraFds;
};

class Child {
 public:
  Child(const std::vector<std::string>& argv, const SpawnOptions& options = {});
  ~Child();  // kills and reaps a child still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  int pid() const { return pid_; }

  void writeStdin(const std::string& bytes);
  void closeStdin();

  // The next line of standard output without its line feed; nullopt on end of
  // output or when nothing complete arrives in time.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Exactly n bytes of standard output, or nullopt.
  std::optional<std::string> readBytes(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Everything still to come on standard output until it closes.
  std::string readAllStdout(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  std::string readAllStderr(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Exit status (0-255), 128 + signal number for a signal death, nullopt on time-out.
  std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool exited() const { return status_.has_value(); }
  void kill(int signal);

 private:
  bool fill(int fd, std::string& buffer, std::chrono::steady_clock::time_point deadline);

  int pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  int pidfd_ = -1;  // readable once the child has ended
  std::string outBuffer_, errBuffer_;
  std::optional<int> status_;
};

// Runs to completion and collects everything.
struct Result {
  int status = -1;
  std::string out, err;
};
Result run(const std::vector<std::string>& argv, const std::string& input = "",
           const SpawnOptions& options = {}, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Path of a built program, from the environment variable the build sets for
// test binaries (QUORVANE_BIN_DIR) or next to the test binary.
std::string binary(const std::string& name);

}  // namespace quorvane::test
