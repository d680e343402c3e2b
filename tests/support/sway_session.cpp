#include "tests/support/sway_session.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/process.h"

namespace quorvane::test {

namespace {

constexpr uid_t kNobody = 65534;
namespace fs = std::filesystem;

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
         << "for_window [app_id=\"^test\"] floating enable\n"
         // Run once both sockets take connections; sway's children inherit descriptor 3.
         << "exec printf '%s %s\\n' \"$WAYLAND_DISPLAY\" \"$SWAYSOCK\" >&3\n";
    for (const auto& line : options.config) conf << line << "\n";
  }
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // Headless outputs are made one at a time: the first by the backend, the
  // rest below with create_output.
  const SpawnOptions env{.env = {{"PATH", "/usr/bin:/bin"},
                                 {"HOME", dir_},
                                 {"XDG_RUNTIME_DIR", runtime},
                                 {"WLR_BACKENDS", "headless"},
                                 {"WLR_RENDERER", "pixman"},
                                 {"WLR_LIBINPUT_NO_DEVICES", "1"}},
                         .cleanEnv = true,
                         .user = kNobody};
  pid_ = spawn({"sway", "-c", dir_ + "/sway.conf"}, env,
               {{0, -1}, {1, -1}, {2, std::getenv("QUORVANE_SWAY_VERBOSE") ? 2 : -1}, {3, ready[1]}}, true);
  close(ready[1]);
  std::string buffer;
  const auto line = takeLine(ready[0], buffer, std::chrono::seconds(20));
  close(ready[0]);
  const auto blank = line ? line->find(' ') : std::string::npos;
  if (blank == std::string::npos) {
    stop(pid_, dir_);
    throw std::runtime_error("sway did not start (QUORVANE_SWAY_VERBOSE=1 shows why)");
  }
  env_ = {{"WAYLAND_DISPLAY", runtime + "/" + line->substr(0, blank)}, {"XDG_RUNTIME_DIR", runtime},
          {"SWAYSOCK", line->substr(blank + 1)}};
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
    Result r = run({"grim", "-g", point + " 1x1", "-t", "ppm", "-"}, "", SpawnOptions{.env = env_});
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
