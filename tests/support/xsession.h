// A private X server for one test binary (or the demo): Xvfb on a display
// number it picks itself (-displayfd), optionally with openbox, both stopped
// when the session ends, and killed by the kernel if the test dies first.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace quorvane::test {

struct XSessionOptions {
  int width = 1280;
  int height = 800;
  bool windowManager = true;
  std::vector<std::string> monitors;  // RandR monitors, "WxH+X+Y" each; empty = the server's default one
};

class XSession {
 public:
  explicit XSession(const XSessionOptions& options = {});
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;
  const std::string& display() const { return display_; }  // ":N", ready for DISPLAY
  pid_t serverPid() const { return serverPid_; }
  pid_t windowManagerPid() const { return wmPid_; }
  // Makes this session the display of the test process and its children.
  void exportDisplay() const;

 private:
  pid_t serverPid_ = -1, wmPid_ = -1;
  std::string display_;
};

// The one session a test binary shares: started by the first caller.
XSession& sharedXSession(const XSessionOptions& options = {});

}  // namespace quorvane::test
