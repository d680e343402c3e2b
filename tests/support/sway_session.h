// A private headless sway for one test binary: started as the unprivileged
// user 65534 (sway refuses root) in a runtime directory of its own, with the
// outputs asked for, and killed by the kernel if the test dies first.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quorvane::test {

struct SwayOptions {
  // One headless output per entry, "WxH", laid out left to right.
  std::vector<std::string> outputs = {"1280x720"};
  // More configuration lines (an `output * bg ...` line, say).
  std::vector<std::string> config;
};

class SwaySession {
 public:
  explicit SwaySession(const SwayOptions& options = {});
  ~SwaySession();
  SwaySession(const SwaySession&) = delete;
  SwaySession& operator=(const SwaySession&) = delete;

  // What a client of this compositor needs (WAYLAND_DISPLAY as an absolute
  // path, XDG_RUNTIME_DIR, SWAYSOCK); DISPLAY is to be unset.
  const std::map<std::string, std::string>& env() const { return env_; }
  // A directory the test may write files to (readable by the compositor).
  const std::string& directory() const { return dir_; }
  pid_t pid() const { return pid_; }

  // Runs swaymsg with these arguments; its standard output, or throws.
  std::string message(const std::vector<std::string>& args) const;
  // The colours on screen at global points "X,Y", as "RRGGBB", read back
  // without the cursor; "" for a point grim cannot read.
  std::vector<std::string> pixels(const std::vector<std::string>& points) const;

 private:
  static void stop(pid_t& pid, std::string& dir);

  pid_t pid_ = -1;
  std::string dir_;
  std::map<std::string, std::string> env_;
};

}  // namespace quorvane::test
