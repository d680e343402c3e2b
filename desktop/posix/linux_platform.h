// What every Linux backend of the mask shares besides its window system: the
// event loop (SIGTERM, the control stream, timers and the window system's
// wait), GSettings' wallpaper answers and the wallpaper files the screens
// share. A backend answers the rest of the seam and waits for its window system.
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

#include "desktop/gsettings/gsettings_wallpaper.h"
#include "desktop/mask.h"

namespace quorvane::desktop::posix {

// SIGTERM, taken from its default action for the whole run, so that it ends
// the mask quietly while the wallpapers load as well as later. Made first in
// main, before any thread: threads inherit the block, so none of them
// (dconf's GSettings worker, a drawing) takes the signal and ends the process.
class Termination {
 public:
  Termination();
  ~Termination();
  Termination(const Termination&) = delete;
  Termination& operator=(const Termination&) = delete;

  // Readable once the signal is pending; -1 where none could be had (the
  // signal then keeps its default action).
  int fd() const { return fd_; }
  // Takes a pending SIGTERM; whether there was one.
  bool taken();

 private:
  int fd_ = -1;
};

// One read of a control stream: the bytes (empty at end of input), or nullopt
// when nothing can be read yet (a non-blocking stream, a signal).
std::optional<std::string> readControlChunk(int fd);

// A picture file as a wallpaper source: its file URL; no wallpaper when the
// path is not absolute.
WallpaperSource pictureFile(const std::string& path);

// What a window system tells the loop after a wait.
enum class ScreenChange { kNone, kScreens, kSpace };
struct WindowNews {
  ScreenChange change = ScreenChange::kNone;  // the first change seen
  bool coversShown = false;                   // every cover is on screen
};

class LinuxPlatform : public MaskPlatform {
 public:
  explicit LinuxPlatform(Termination& termination, int controlFd = STDIN_FILENO)
      : termination_(termination), controlFd_(controlFd) {}

  std::optional<WallpaperChoice> chosenWallpaper() override { return gsettings::chosenWallpaper(background()); }
  std::optional<WallpaperChoice> defaultWallpaper() override { return gsettings::defaultWallpaper(background()); }
  // Each file once, however many screens show it.
  std::shared_ptr<WallpaperImage> openImage(const std::string& url) override;
  bool terminationRequested() override { return termination_.taken(); }
  Exit run(DesktopMask& mask) final;

 protected:
  // Waits up to timeoutMs for the window system or any of `others` (whose
  // revents it fills in) and reads what the window system sent. A window
  // system lost is a change of screens: the covers went with it.
  virtual WindowNews waitForWindows(std::span<pollfd> others, int timeoutMs) = 0;
  // The pictures are with the window system now: the files' memory can go.
  void releaseFiles() { files_.clear(); }

 private:
  const std::optional<gsettings::DesktopBackground>& background();  // read on first use

  Termination& termination_;
  int controlFd_;
  std::optional<std::optional<gsettings::DesktopBackground>> background_;
  std::vector<std::pair<std::string, std::shared_ptr<WallpaperImage>>> files_;  // by URL
};

}  // namespace quorvane::desktop::posix
