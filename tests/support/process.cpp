#include "tests/support/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace quorvane::test {

using Clock = std::chrono::steady_clock;

namespace {

// Reads what arrives by the deadline into the buffer; false on time-out and at the end of input.
bool fill(int fd, std::string& buffer, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  pollfd p{fd, POLLIN, 0};
  char chunk[65536];
  const ssize_t n = poll(&p, 1, static_cast<int>(std::max<long>(left, 0))) > 0 ? read(fd, chunk, sizeof chunk) : 0;
  buffer.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  return n > 0;
}

// The buffer and all that arrives until the end of input.
std::string drain(int fd, std::string& buffer, milliseconds timeout) {
  for (const auto deadline = Clock::now() + timeout; fill(fd, buffer, deadline);) {
  }
  return std::exchange(buffer, {});
}

}  // namespace

pid_t spawn(const std::vector<std::string>& argv, const SpawnOptions& options, std::map<int, int> fds,
            bool ownGroup) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  const auto id = options.user.value_or(0);
  if (options.user && (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0)) _exit(126);
  // A test that dies must not leave its programs running (set after a change of user, which clears it).
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  if (ownGroup) setpgid(0, 0);
  signal(SIGPIPE, SIG_DFL);
  // Extra descriptors win over the standard ones they name.
  for (auto [childFd, ourFd] : options.extraFds) fds[childFd] = ourFd;
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  // Out of the way first, so that no placement overwrites a descriptor still to be placed.
  for (auto& [childFd, ourFd] : fds) ourFd = fcntl(ourFd < 0 ? null : ourFd, F_DUPFD_CLOEXEC, 100);
  for (auto [childFd, ourFd] : fds) dup2(ourFd, childFd);
  if (options.cleanEnv) clearenv();
  for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
  for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

void stop(pid_t& pid) {
  if (pid <= 0) return;
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  ::kill(pid, SIGTERM);
  pollfd p{ended, POLLIN, 0};
  if (ended < 0 || poll(&p, 1, 2000) <= 0) ::kill(pid, SIGKILL);
  if (ended >= 0) close(ended);
  waitpid(std::exchange(pid, -1), nullptr, 0);
}

Child::Child(const std::vector<std::string>& argv, const SpawnOptions& options) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) throw std::runtime_error("pipe failed");
  pid_ = spawn(argv, options, {{0, in[0]}, {1, out[1]}, {2, err[1]}});
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
}

Child::~Child() {
  kill(SIGKILL);
  if (!status_) waitpid(pid_, nullptr, 0);
  for (int fd : {in_, out_, err_, pidfd_}) close(fd);
}

void Child::writeStdin(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) return;  // the child closed its end; the test sees it in the output
    done += static_cast<size_t>(std::max<ssize_t>(n, 0));
  }
}

void Child::closeStdin() {
  close(std::exchange(in_, -1));
}

std::optional<std::string> takeLine(int fd, std::string& buffer, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (buffer.find('\n') == std::string::npos) {
    if (!fill(fd, buffer, deadline)) return std::nullopt;
  }
  std::string line = buffer.substr(0, buffer.find('\n'));
  buffer.erase(0, line.size() + 1);
  return line;
}

std::optional<std::string> Child::readLine(milliseconds timeout) { return takeLine(out_, outBuffer_, timeout); }

std::optional<std::string> Child::readBytes(size_t n, milliseconds timeout) {
  std::string bytes(n, '\0');
  if (!readInto(bytes.data(), n, timeout)) return std::nullopt;
  return bytes;
}

bool Child::readInto(char* into, size_t n, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  size_t got = std::min(n, outBuffer_.size());
  std::memcpy(into, outBuffer_.data(), got);
  outBuffer_.erase(0, got);
  while (got < n) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    pollfd p{out_, POLLIN, 0};
    const ssize_t r = poll(&p, 1, static_cast<int>(std::max<long>(left, 0))) > 0 ? read(out_, into + got, n - got) : 0;
    if (r <= 0) {
      // What did come is kept for the next read: a header cut by the time-out is not lost.
      outBuffer_.insert(0, into, got);
      return false;
    }
    got += static_cast<size_t>(r);
  }
  return true;
}

std::string Child::readAllStdout(milliseconds timeout) { return drain(out_, outBuffer_, timeout); }

std::string Child::readAllStderr(milliseconds timeout) { return drain(err_, errBuffer_, timeout); }

std::optional<int> Child::wait(milliseconds timeout) {
  pollfd ended{pidfd_, POLLIN, 0};
  int st = 0;
  if (!status_ && poll(&ended, 1, static_cast<int>(timeout.count())) > 0 && waitpid(pid_, &st, 0) == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  }
  return status_;
}

void Child::kill(int signal) {
  if (!status_) ::kill(pid_, signal);
}

Result run(const std::vector<std::string>& argv, const std::string& input, const SpawnOptions& options,
           milliseconds timeout) {
  Child child(argv, options);
  child.writeStdin(input);
  child.closeStdin();
  Result r;
  r.out = child.readAllStdout(timeout);
  r.err = child.readAllStderr(milliseconds(500));
  r.status = child.wait(timeout).value_or(-1);
  return r;
}

std::string binary(const std::string& name) {
  const char* dir = std::getenv("QUORVANE_BIN_DIR");
  if (dir && *dir) return std::string(dir) + "/" + name;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return name;
  const std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + name;
}

double cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  // After the name: state, then 10 more fields, then utime and stime.
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  int read = 0;
  for (; read < 13 && fields >> field; ++read) {
    if (read >= 11) ticks += std::stod(field);
  }
  return read == 13 ? ticks / static_cast<double>(sysconf(_SC_CLK_TCK)) : -1;
}

}  // namespace quorvane::test
