#include "tests/support/kwin_session.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "common/kde/kwin_screenshot.h"
#include "tests/support/process.h"

namespace quorvane::test {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kPackagedKWin[] = "/usr/bin/kwin_wayland";

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ",") + item;
  return out;
}

void write(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Every client the session's tests run may reach this bus; nothing is
// started on demand, so nothing outlives the session.
std::string busConfig(const std::string& dir) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>session</type>\n"
         "  <listen>unix:path=" + dir + "/bus</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

// Rules 2 (force) for position, size and border, the app_id matched exactly.
std::string windowRules(const std::vector<KWinWindowRule>& rules) {
  std::ostringstream out;
  out << "[General]\ncount=" << rules.size() << "\nrules=";
  for (std::size_t i = 0; i < rules.size(); ++i) out << (i ? "," : "") << i + 1;
  out << "\n";
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const auto& r = rules[i];
    out << "\n[" << i + 1 << "]\nDescription=" << r.appId << "\nwmclass=" << r.appId << "\nwmclassmatch=1\n"
        << "position=" << r.x << "," << r.y << "\npositionrule=2\nsize=" << r.width << "," << r.height
        << "\nsizerule=2\nnoborder=true\nnoborderrule=2\n";
  }
  return out.str();
}

std::string selfPath() {
  std::error_code ec;
  auto path = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot read /proc/self/exe");
  return path.string();
}

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) throw std::runtime_error("cannot read " + path);
  return text.str();
}

}  // namespace

std::map<std::string, std::string> helperGrantFiles(const std::string& helperDir) {
  const std::string placeholder = "@QUORVANE_HELPER_DIR@";
  std::map<std::string, std::string> files;
  for (const char* helper : {"quorvane-input", "quorvane-recording-screen"}) {
    std::string text = readText(std::string(QUORVANE_SOURCE_DIR) + "/common/kde/grants/" + helper + ".desktop.in");
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
      text.replace(at, placeholder.size(), helperDir);
    }
    files[std::string(helper) + ".desktop"] = text;
  }
  return files;
}

std::string grantFile(const KWinGrant& grant) {
  std::string text = "[Desktop Entry]\nType=Application\nName=" + fs::path(grant.program).filename().string() +
                     "\nExec=" + grant.program + "\nNoDisplay=true\n";
  if (!grant.waylandInterfaces.empty()) text += "X-KDE-Wayland-Interfaces=" + joined(grant.waylandInterfaces) + "\n";
  if (!grant.dbusInterfaces.empty()) text += "X-KDE-DBUS-Restricted-Interfaces=" + joined(grant.dbusInterfaces) + "\n";
  return text;
}

KWinSession::KWinSession(const KWinOptions& options) {
  char tmpl[] = "/tmp/quorvane-kwin-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  const std::string runtime = dir_ + "/runtime", home = dir_ + "/home", config = home + "/.config";
  const std::string data = dir_ + "/data", applications = data + "/applications";
  fs::create_directories(applications);
  fs::create_directories(config);
  fs::create_directory(runtime);
  chmod(runtime.c_str(), 0700);

  // The test binary's own grant first: the session reads pixels and windows through it.
  std::vector<KWinGrant> grants = {{selfPath(),
                                    {"org_kde_plasma_window_management", "org_kde_kwin_fake_input"},
                                    {"org.kde.KWin.ScreenShot2"}}};
  grants.insert(grants.end(), options.grants.begin(), options.grants.end());
  for (std::size_t i = 0; i < grants.size(); ++i) {
    write(applications + "/quorvane-test-grant-" + std::to_string(i) + ".desktop", grantFile(grants[i]));
  }
  for (const auto& [name, text] : options.desktopFiles) write(applications + "/" + name, text);
  write(config + "/kwinrulesrc", windowRules(options.rules));
  // No animations: a window is drawn in full as soon as it is mapped.
  write(config + "/kdeglobals", "[KDE]\nAnimationDurationFactor=0\n");
  write(dir_ + "/bus.conf", busConfig(dir_));
  // Run once Wayland and D-Bus take connections: KWin starts its command line's programs then.
  write(dir_ + "/ready", "#!/bin/sh\nprintf '%s\\n' \"$WAYLAND_DISPLAY\" >&3\n");
  chmod((dir_ + "/ready").c_str(), 0755);
  // A copy carries no file capability.
  fs::copy_file(kPackagedKWin, dir_ + "/kwin_wayland");

  const auto started = std::chrono::steady_clock::now();
  int busReady[2], kwinReady[2];
  if (pipe2(busReady, O_CLOEXEC) != 0 || pipe2(kwinReady, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  dbus_ = spawn({"dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--print-address=3"},
                SpawnOptions{.env = {{"PATH", "/usr/bin:/bin"}}, .cleanEnv = true},
                {{0, -1}, {1, -1}, {2, -1}, {3, busReady[1]}}, true);
  close(busReady[1]);
  std::string buffer;
  const auto address = takeLine(busReady[0], buffer, 10s);
  close(busReady[0]);
  if (!address || address->empty()) {
    close(kwinReady[0]);
    close(kwinReady[1]);
    stop();
    throw std::runtime_error("dbus-daemon did not start");
  }

  const int logFd = open((dir_ + "/kwin.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::map<std::string, std::string> env = {
      {"PATH", "/usr/bin:/bin"},           {"HOME", home},
      {"XDG_RUNTIME_DIR", runtime},        {"XDG_CONFIG_HOME", config},
      {"XDG_CACHE_HOME", dir_ + "/cache"}, {"XDG_DATA_HOME", dir_ + "/local"},
      {"XDG_DATA_DIRS", data + ":/usr/local/share:/usr/share"},
      {"DBUS_SESSION_BUS_ADDRESS", *address}};
  env.insert(options.kwinEnv.begin(), options.kwinEnv.end());
  kwin_ = spawn({dir_ + "/kwin_wayland", "--virtual", "--width", std::to_string(options.width), "--height",
                 std::to_string(options.height), dir_ + "/ready"},
                SpawnOptions{.env = env, .cleanEnv = true},
                {{0, -1}, {1, logFd}, {2, std::getenv("QUORVANE_KWIN_VERBOSE") ? 2 : logFd}, {3, kwinReady[1]}}, true);
  close(logFd);
  close(kwinReady[1]);
  buffer.clear();
  const auto socket = takeLine(kwinReady[0], buffer, 30s);
  close(kwinReady[0]);
  startUp_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  if (socket && !socket->empty()) bus_ = kde::openBus(*address);
  if (!bus_) {
    const std::string why = log();
    stop();
    throw std::runtime_error("KWin did not start:\n" + why);
  }
  env_ = {{"WAYLAND_DISPLAY", runtime + "/" + *socket},
          {"XDG_RUNTIME_DIR", runtime},
          {"DBUS_SESSION_BUS_ADDRESS", *address}};
}

KWinSession::~KWinSession() { stop(); }

void KWinSession::stop() {
  bus_.reset();
  test::stop(kwin_);
  test::stop(dbus_);
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
  dir_.clear();
}

std::string KWinSession::log() const {
  std::ifstream in(dir_ + "/kwin.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> KWinSession::pixels(const std::vector<std::string>& points) const {
  std::vector<std::string> colours;
  kde::KWinScreenShot shots(bus_.get());
  for (const auto& point : points) {
    const auto comma = point.find(',');
    char hex[7] = "";
    auto outcome = shots.area(std::stoi(point.substr(0, comma)), std::stoi(point.substr(comma + 1)), 1, 1, false,
                              std::chrono::steady_clock::now() + 5s);
    if (outcome.shot) std::snprintf(hex, sizeof hex, "%06X", outcome.shot->rgb(0, 0));
    colours.push_back(hex);
  }
  return colours;
}

}  // namespace quorvane::test
