#include "desktop/posix/linux_platform.h"

#include <cerrno>

#include <glib.h>
#include <pthread.h>
#include <sys/signalfd.h>

#include "desktop/images/image_file.h"

namespace quorvane::desktop::posix {

namespace {

// One read is one chunk; more than 100 bytes is refused anyway.
constexpr std::size_t kChunkBuffer = 4096;

}  // namespace

Termination::Termination() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

Termination::~Termination() {
  if (fd_ >= 0) close(fd_);
}

bool Termination::taken() {
  signalfd_siginfo info;
  return fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

std::optional<std::string> readControlChunk(int fd) {
  char buffer[kChunkBuffer];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return std::nullopt;
  // A read error is the end of input as far as the application's pipe goes.
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

WallpaperSource pictureFile(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  if (!uri) return NoWallpaper{};
  WallpaperUrl url{uri};
  g_free(uri);
  return url;
}

std::shared_ptr<WallpaperImage> LinuxPlatform::openImage(const std::string& url) {
  for (const auto& [name, image] : files_) {
    if (name == url) return image;
  }
  gchar* path = g_filename_from_uri(url.c_str(), nullptr, nullptr);
  if (!path) return nullptr;
  std::shared_ptr<WallpaperImage> image = openImageFile(path);
  g_free(path);
  if (!image) return nullptr;
  files_.emplace_back(url, image);
  return image;
}

const std::optional<gsettings::DesktopBackground>& LinuxPlatform::background() {
  if (!background_) background_ = gsettings::readDesktopBackground();
  return *background_;
}

Exit LinuxPlatform::run(DesktopMask& mask) {
  for (;;) {
    pollfd fds[2] = {{termination_.fd(), POLLIN, 0}, {controlFd_, POLLIN, 0}};
    WindowNews news = waitForWindows(fds, mask.millisToWakeup());
    if ((fds[0].revents & POLLIN) && termination_.taken()) return *mask.onTerminate();
    // The first chunk ends the mask, whatever it holds.
    if (fds[1].revents & POLLNVAL) return *mask.onControlChunk("");
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      if (auto chunk = readControlChunk(controlFd_)) return *mask.onControlChunk(*chunk);
    }
    if (news.change == ScreenChange::kScreens) return *mask.onScreensChanged();
    if (news.change == ScreenChange::kSpace) return *mask.onSpaceChanged();
    if (news.coversShown) {
      if (Outcome end = mask.onCoversShown()) return *end;
    }
    if (Outcome end = mask.onTimers()) return *end;
  }
}

}  // namespace quorvane::desktop::posix
