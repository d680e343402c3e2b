#include "tests/support/sway_session.h"

#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <grp.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/process.h"

namespace quorvane::test {

namespace {

constexpr uid_t kNobody = 65534;
namespace fs = std::filesystem;

// The first file in `dir` whose name passes `wanted`, else "".
template <typename Wanted>
std::string findSocket(const std::string& dir, Wanted wanted) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename();
    if (entry.is_socket(ec) && wanted(name)) return entry.path();
  }
  return "";
}

bool accepts(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

void own(const std::string& path, mode_t mode) {
  if (chown(path.c_str(), kNobody, kNobody) != 0 || chmod(path.c_str(), mode) != 0) {
    throw std::runtime_error("cannot hand " + path + " to uid 65534");
  }
}

}  // namespace

SwaySession::SwaySession(const SwayOptions& options) {
  char tmpl[] = "/tmp/quorvane-sway-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  const std::string runtime = dir_ + "/runtime";
  fs::create_directory(runtime);
  own(dir_, 0755);
  own(runtime, 0700);
  {
    std::ofstream conf(dir_ + "/sway.conf");
    int x = 0;
    for (size_t i = 0; i < options.outputs.size(); ++i) {
      conf << "output HEADLESS-" << i + 1 << " resolution " << options.outputs[i] << " position " << x << ",0\n";
      x += std::stoi(options.outputs[i]);
    }
    conf << "xwayland disable\n"
         << "for_window [app_id=\"^test\"] floating enable\n";
    for (const auto& line : options.config) conf << line << "\n";
  }
  // Headless outputs are made one at a time: the first by the backend, the
  // rest below with create_output.
  std::vector<std::string> envp = {"PATH=/usr/bin:/bin", "HOME=" + dir_, "XDG_RUNTIME_DIR=" + runtime,
                                   "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
  const std::string config = dir_ + "/sway.conf";
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    // Set after the change of user, which clears it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    if (!std::getenv("QUORVANE_SWAY_VERBOSE")) dup2(null, 2);
    std::vector<char*> e;
    for (auto& s : envp) e.push_back(s.data());
    e.push_back(nullptr);
    const char* argv[] = {"sway", "-c", config.c_str(), nullptr};
    execve("/usr/bin/sway", const_cast<char**>(argv), e.data());
    _exit(127);
  }
  std::string display, ipc;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    display = findSocket(runtime, [](const std::string& n) { return n.rfind("wayland-", 0) == 0; });
    ipc = findSocket(runtime, [](const std::string& n) { return n.rfind("sway-ipc.", 0) == 0; });
    if (accepts(display) && accepts(ipc)) break;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("sway ended at start (QUORVANE_SWAY_VERBOSE=1 shows why)");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!accepts(display) || !accepts(ipc)) {
    stop(pid_, dir_);
    throw std::runtime_error("sway did not start");
  }
  env_ = {{"WAYLAND_DISPLAY", display}, {"XDG_RUNTIME_DIR", runtime}, {"SWAYSOCK", ipc}};
  for (size_t i = 1; i < options.outputs.size(); ++i) message({"create_output"});
}

SwaySession::~SwaySession() { stop(pid_, dir_); }

void SwaySession::stop(pid_t& pid, std::string& dir) {
  test::stop(pid);
  std::error_code ec;
  if (!dir.empty()) fs::remove_all(dir, ec);
  dir.clear();
}

std::string SwaySession::message(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"swaymsg"};
  argv.insert(argv.end(), args.begin(), args.end());
  SpawnOptions options;
  options.env = env_;
  Result r = run(argv, "", options);
  if (r.status != 0) throw std::runtime_error("swaymsg failed: " + r.out + r.err);
  return r.out;
}

std::vector<std::string> SwaySession::pixels(const std::vector<std::string>& points) const {
  std::vector<std::string> colours;
  for (const auto& point : points) {
    // A binary PPM of one pixel: its last three bytes are red, green, blue.
    Result r = run({"grim", "-g", point + " 1x1", "-t", "ppm", "-"}, "", SpawnOptions{env_, {}, {}});
    char hex[7] = "";
    if (r.status == 0 && r.out.size() >= 3) {
      const auto* rgb = reinterpret_cast<const unsigned char*>(r.out.data() + r.out.size() - 3);
      std::snprintf(hex, sizeof hex, "%02X%02X%02X", rgb[0], rgb[1], rgb[2]);
    }
    colours.push_back(hex);
  }
  return colours;
}

}  // namespace quorvane::test
