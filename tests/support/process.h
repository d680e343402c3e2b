// Child processes for end-to-end tests: the real binaries started the way the
// application starts them, with pipes on their standard streams.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::test {

using std::chrono::milliseconds;

struct SpawnOptions {
  std::map<std::string, std::string> env{};  // added to (or replacing in) the test's environment
  std::map<int, int> extraFds{};             // handed to the child as-is: child fd number -> our fd
  std::vector<std::string> unsetEnv{};       // taken out of the child's environment
  bool cleanEnv = false;                     // start from an empty environment instead of the test's
  std::optional<uid_t> user{};               // run as this uid (and gid), without supplementary groups
};

// Starts argv; `fds` maps the child's descriptors to ours (-1: /dev/null), all
// others close on exec. The child is killed when this process dies; in a group
// of its own, a terminal's interrupt does not reach it.
pid_t spawn(const std::vector<std::string>& argv, const SpawnOptions& options, std::map<int, int> fds,
            bool ownGroup = false);

// Asks a spawned process to end (SIGTERM), kills it after two seconds, reaps
// it, and sets pid to -1; nothing for a pid <= 0.
void stop(pid_t& pid);

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
  std::optional<std::string> readLine(milliseconds timeout = std::chrono::seconds(10));
  // Exactly n bytes of standard output, or nullopt.
  std::optional<std::string> readBytes(size_t n, milliseconds timeout = std::chrono::seconds(10));
  // Exactly n bytes of standard output into `into`, read straight from the
  // pipe: a bench timing a large record must not time its own copies. On
  // failure the bytes that came stay for the next read.
  bool readInto(char* into, size_t n, milliseconds timeout = std::chrono::seconds(10));
  // Everything still to come on standard output (error) until it closes.
  std::string readAllStdout(milliseconds timeout = std::chrono::seconds(10));
  std::string readAllStderr(milliseconds timeout = std::chrono::seconds(10));
  // Exit status (0-255), 128 + signal number for a signal death, nullopt on time-out.
  std::optional<int> wait(milliseconds timeout = std::chrono::seconds(10));
  void kill(int signal);

 private:
  int pid_ = -1, in_ = -1, out_ = -1, err_ = -1;
  int pidfd_ = -1;  // readable once the child has ended
  std::string outBuffer_, errBuffer_;
  std::optional<int> status_;
};

// The first line in the buffer, reading more from fd as needed, taken out without its line feed.
std::optional<std::string> takeLine(int fd, std::string& buffer, milliseconds timeout);

// Runs to completion and collects everything.
struct Result {
  int status = -1;
  std::string out, err;
};
Result run(const std::vector<std::string>& argv, const std::string& input = "", const SpawnOptions& options = {},
           milliseconds timeout = std::chrono::seconds(30));

// Path of a built program, from the environment variable the build sets for
// test binaries (QUORVANE_BIN_DIR) or next to the test binary.
std::string binary(const std::string& name);

// User plus system CPU seconds a process has used so far; -1 when it cannot be read.
double cpuSeconds(pid_t pid);

}  // namespace quorvane::test
