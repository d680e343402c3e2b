// What every Linux backend of the mask shares besides its window system: the
// event loop (SIGTERM, the control stream on standard input, timers, and the
// window system's own descriptor), the wallpaper GSettings keeps (the user's
// choice and the default), and the wallpaper files the screens share. A
// backend answers the rest of the seam and waits for its window system.
#pragma once

#include <csignal>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include "common/outcome.h"
#include "desktop/gsettings/gsettings_wallpaper.h"
#include "desktop/mask.h"
#include "desktop/mask_platform.h"

namespace quorvane::desktop::posix {

// SIGTERM, taken from its default action for the whole run: it ends the mask
// quietly, while the wallpapers load as much as later. Made first thing in
// main, before any thread exists: threads inherit the blocked signal, so none
// of them (dconf's GSettings worker, a drawing) can take it and end the
// process by the default action.
class Termination {
 public:
  Termination();
  ~Termination();
  Termination(const Termination&) = delete;
  Termination& operator=(const Termination&) = delete;

  // Readable once the signal is pending; -1 where it cannot be had (the
  // signal then keeps its default action).
  int fd() const { return fd_; }
  // Takes a pending SIGTERM; whether there was one.
  bool taken();

 private:
  sigset_t previous_;
  int fd_ = -1;
};

// One read of a control stream: the bytes (empty at end of input), or nullopt
// when nothing can be read yet (a non-blocking stream, a signal).
std::optional<std::string> readControlChunk(int fd);

// Wallpaper files by URL, each opened once however many screens show it.
class WallpaperFiles {
 public:
  std::unique_ptr<WallpaperImage> open(const std::string& url);
  void clear() { opened_.clear(); }

 private:
  std::vector<std::pair<std::string, std::shared_ptr<WallpaperImage>>> opened_;
};

// What a window system tells the loop after a wait.
enum class ScreenChange { kNone, kScreens, kSpace };
struct WindowNews {
  ScreenChange change = ScreenChange::kNone;  // the first change seen
  bool coversShown = false;                   // every cover is on screen
  bool operator==(const WindowNews&) const = default;
};

class LinuxPlatform : public MaskPlatform {
 public:
  explicit LinuxPlatform(Termination& termination, int controlFd = STDIN_FILENO)
      : termination_(termination), controlFd_(controlFd) {}

  std::optional<WallpaperChoice> chosenWallpaper() override;
  std::optional<WallpaperChoice> defaultWallpaper() override;
  std::unique_ptr<WallpaperImage> openImage(const std::string& url) override { return files_.open(url); }
  bool terminationRequested() override { return termination_.taken(); }
  Exit run(DesktopMask& mask) final;

 protected:
  // Waits up to timeoutMs (-1: no limit) for the window system or any of
  // `others` (whose revents it fills in), and reads what the window system
  // sent. A window system lost is a change of screens: the covers went with it.
  virtual WindowNews waitForWindows(std::span<pollfd> others, int timeoutMs) = 0;
  // The pictures are with the window system now: the files' memory can go.
  void releaseFiles() { files_.clear(); }

 private:
  Termination& termination_;
  int controlFd_;
  gsettings::BackgroundOnce background_;
  WallpaperFiles files_;
};

}  // namespace quorvane::desktop::posix
