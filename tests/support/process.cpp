#include "tests/support/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace quorvane::test {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

void makePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const SpawnOptions& options) {
  int in[2] = {-1, -1}, out[2], err[2];
  if (options.pipeStdin) makePipe(in);
  makePipe(out);
  makePipe(err);
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that dies must not leave its helpers running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    signal(SIGPIPE, SIG_DFL);
    if (options.pipeStdin) {
      dup2(in[0], 0);
    } else {
      int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
    }
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (auto [childFd, ourFd] : options.extraFds) {
      if (childFd == ourFd) {
        fcntl(ourFd, F_SETFD, 0);
      } else {
        dup2(ourFd, childFd);
      }
    }
    for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& [k, v] : options.env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  if (options.pipeStdin) {
    close(in[0]);
    in_ = in[1];
  }
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
}

Child::~Child() {
  if (!status_) {
    ::kill(pid_, SIGKILL);
    int st;
    waitpid(pid_, &st, 0);
  }
  for (int fd : {in_, out_, err_, pidfd_}) {
    if (fd >= 0) close(fd);
  }
}

void Child::writeStdin(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // the child closed its end; the test sees it in the output
    }
    done += static_cast<size_t>(n);
  }
}

void Child::closeStdin() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

bool Child::fill(int fd, std::string& buffer, Clock::time_point deadline) {
  pollfd p{fd, POLLIN, 0};
  int r = poll(&p, 1, remainingMs(deadline));
  if (r <= 0) return false;
  char chunk[65536];
  ssize_t n = read(fd, chunk, sizeof chunk);
  if (n <= 0) return false;
  buffer.append(chunk, static_cast<size_t>(n));
  return true;
}

std::optional<std::string> Child::readLine(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    size_t nl = outBuffer_.find('\n');
    if (nl != std::string::npos) {
      std::string line = outBuffer_.substr(0, nl);
      outBuffer_.erase(0, nl + 1);
      return line;
    }
    if (!fill(out_, outBuffer_, deadline)) return std::nullopt;
  }
}

std::optional<std::string> Child::readBytes(size_t n, std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (outBuffer_.size() < n) {
    if (!fill(out_, outBuffer_, deadline)) return std::nullopt;
  }
  std::string bytes = outBuffer_.substr(0, n);
  outBuffer_.erase(0, n);
  return bytes;
}

std::string Child::readAllStdout(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (fill(out_, outBuffer_, deadline)) {
  }
  return std::exchange(outBuffer_, {});
}

std::string Child::readAllStderr(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (fill(err_, errBuffer_, deadline)) {
  }
  return std::exchange(errBuffer_, {});
}

std::optional<int> Child::wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  auto deadline = Clock::now() + timeout;
  for (;;) {
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    const int left = remainingMs(deadline);
    if (left == 0) return std::nullopt;
    pollfd p{pidfd_, POLLIN, 0};
    poll(&p, 1, left);
  }
}

void Child::kill(int signal) {
  if (!status_) ::kill(pid_, signal);
}

Result run(const std::vector<std::string>& argv, const std::string& input, const SpawnOptions& options,
           std::chrono::milliseconds timeout) {
  Child child(argv, options);
  if (!input.empty()) child.writeStdin(input);
  child.closeStdin();
  Result r;
  r.out = child.readAllStdout(timeout);
  r.err = child.readAllStderr(std::chrono::milliseconds(500));
  auto status = child.wait(timeout);
  r.status = status ? *status : -1;
  return r;
}

std::string binary(const std::string& name) {
  const char* dir = std::getenv("QUORVANE_BIN_DIR");
  if (dir && *dir) return std::string(dir) + "/" + name;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return name;
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + name;
}

}  // namespace quorvane::test
