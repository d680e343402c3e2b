// A private headless KWin for one test binary: `kwin_wayland --virtual` on a
// session bus of its own, in a home, runtime and data directory of its own,
// killed by the kernel if the test dies first. The packaged binary carries a
// file capability this sandbox refuses, so a copy of it runs; KWin runs as
// root without complaint.
//
// KWin grants its restricted Wayland globals and D-Bus interfaces to programs
// named by `.desktop` files in its data directories: the session writes the
// ones asked for before KWin starts, and grants the test binary itself what
// the session's own tools need (window management, fake input, ScreenShot2).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

#include "common/kde/session_bus.h"

namespace quorvane::test {

// The interface lists of a grant, as KWin reads them: comma-separated.
struct KWinGrant {
  std::string program;  // absolute path, as /proc/PID/exe will name it
  std::vector<std::string> waylandInterfaces;
  std::vector<std::string> dbusInterfaces;
};

// A window placed exactly and without a border, matched by its app_id.
struct KWinWindowRule {
  std::string appId;
  std::int32_t x = 0, y = 0;
  std::uint32_t width = 0, height = 0;
};

struct KWinOptions {
  std::uint32_t width = 1280, height = 720;  // the one virtual output
  std::vector<KWinGrant> grants;
  // More `.desktop` files for the data directory, by file name: their text.
  std::map<std::string, std::string> desktopFiles;
  std::vector<KWinWindowRule> rules;
  // More environment for KWin (KWIN_COMPOSE=Q for its software renderer, say).
  std::map<std::string, std::string> kwinEnv;
};

// The grant a `.desktop` file makes: hidden from menus, matched by the
// program's absolute path.
std::string grantFile(const KWinGrant& grant);
// The helpers' own grant files (common/kde/grants/), by file name, for
// helpers in `helperDir` (the build's binaries, or copies named as they are).
std::map<std::string, std::string> helperGrantFiles(const std::string& helperDir);

class KWinSession {
 public:
  explicit KWinSession(const KWinOptions& options = {});
  ~KWinSession();
  KWinSession(const KWinSession&) = delete;
  KWinSession& operator=(const KWinSession&) = delete;

  // What a client of this KWin needs: WAYLAND_DISPLAY (an absolute path),
  // XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS; DISPLAY is to be unset.
  const std::map<std::string, std::string>& env() const { return env_; }
  // A directory the test may write files to.
  const std::string& directory() const { return dir_; }
  pid_t pid() const { return kwin_; }
  // From the start of the bus to KWin's taking connections.
  std::chrono::milliseconds startUp() const { return startUp_; }
  // This session's bus, connected once for the test's own calls.
  sd_bus* bus() const { return bus_.get(); }

  // The colours on screen at global points "X,Y", as "RRGGBB", read back
  // through ScreenShot2 without the cursor; "" for a point it cannot read.
  std::vector<std::string> pixels(const std::vector<std::string>& points) const;
  // KWin's standard error so far, for a failure message.
  std::string log() const;

 private:
  void stop();

  pid_t kwin_ = -1, dbus_ = -1;
  std::string dir_;
  std::map<std::string, std::string> env_;
  kde::Bus bus_;
  std::chrono::milliseconds startUp_{};
};

}  // namespace quorvane::test
