// What every backend's event loop reads besides its window system: SIGTERM,
// the control stream on standard input, and the time to the mask's next
// wake-up; and the wallpaper files the screens share. None of it is X11 or
// Wayland.
#pragma once

#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/outcome.h"
#include "desktop/mask.h"
#include "desktop/mask_platform.h"

namespace quorvane::desktop::posix {

// SIGTERM must reach the event loop, never another thread: one that takes it
// (dconf's GSettings worker, a drawing thread) ends the whole process by the
// default action, status 143. A thread inherits the signal mask of the thread
// that makes it, so every thread is made with SIGTERM blocked; the main thread
// blocks it for good when the loop starts, and keeps its default effect until then.
class TerminationBlocked {
 public:
  TerminationBlocked();
  ~TerminationBlocked();
  TerminationBlocked(const TerminationBlocked&) = delete;
  TerminationBlocked& operator=(const TerminationBlocked&) = delete;

 private:
  sigset_t previous_;
};

// From here on SIGTERM ends the mask through the loop, with status 0: a
// descriptor that becomes readable when it arrives.
int takeTerminationSignal();

// After the signal descriptor polled readable: the mask's answer to SIGTERM.
Outcome onTerminationSignal(DesktopMask& mask, int signalFd);

// One read of a control stream: the bytes (empty at end of input), or nullopt
// when nothing can be read yet (a non-blocking stream, a signal).
std::optional<std::string> readControlChunk(int fd);

// After standard input polled with `revents`: the mask's answer to what was
// read; `open` turns false once the one chunk has been taken.
Outcome onControlInput(DesktopMask& mask, short revents, bool& open);

// Milliseconds until the mask's next wake-up, for poll (-1: none).
int timeoutMs(const DesktopMask& mask, Clock& clock);

// Wallpaper files by URL, each opened once however many screens show it.
class WallpaperFiles {
 public:
  std::unique_ptr<WallpaperImage> open(const std::string& url);
  void clear() { opened_.clear(); }

 private:
  std::vector<std::pair<std::string, std::shared_ptr<WallpaperImage>>> opened_;
};

}  // namespace quorvane::desktop::posix
