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

// Hands out a shared image as if it were the caller's own.
class SharedImage final : public WallpaperImage {
 public:
  explicit SharedImage(std::shared_ptr<WallpaperImage> image) : image_(std::move(image)) {}
  std::uint32_t width() const override { return image_->width(); }
  std::uint32_t height() const override { return image_->height(); }
  std::shared_ptr<const Bitmap> decode(std::uint32_t w, std::uint32_t h) override { return image_->decode(w, h); }

 private:
  std::shared_ptr<WallpaperImage> image_;
};

// After standard input polled with `revents`: the mask's answer to what was
// read; `open` turns false once the one chunk has been taken.
Outcome onControlInput(DesktopMask& mask, int fd, short revents, bool& open) {
  if (!(revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return std::nullopt;
  auto chunk = (revents & POLLNVAL) ? std::string() : readControlChunk(fd);
  if (!chunk) return std::nullopt;
  open = false;
  return mask.onControlChunk(*chunk);
}

}  // namespace

Termination::Termination() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
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

std::unique_ptr<WallpaperImage> WallpaperFiles::open(const std::string& url) {
  for (const auto& [name, image] : opened_) {
    if (name == url) return std::make_unique<SharedImage>(image);
  }
  gchar* path = g_filename_from_uri(url.c_str(), nullptr, nullptr);
  if (!path) return nullptr;
  std::shared_ptr<WallpaperImage> image = openImageFile(path);
  g_free(path);
  if (!image) return nullptr;
  opened_.emplace_back(url, image);
  return std::make_unique<SharedImage>(image);
}

std::optional<WallpaperChoice> LinuxPlatform::chosenWallpaper() {
  return gsettings::chosenWallpaper(background_.get());
}

std::optional<WallpaperChoice> LinuxPlatform::defaultWallpaper() {
  return gsettings::defaultWallpaper(background_.get());
}

Exit LinuxPlatform::run(DesktopMask& mask) {
  bool controlOpen = true;
  for (;;) {
    pollfd fds[2] = {{termination_.fd(), POLLIN, 0}, {controlOpen ? controlFd_ : -1, POLLIN, 0}};
    WindowNews news = waitForWindows(fds, mask.millisToWakeup());
    if ((fds[0].revents & POLLIN) && termination_.taken()) return *mask.onTerminate();
    if (Outcome end = onControlInput(mask, controlFd_, fds[1].revents, controlOpen)) return *end;
    if (news.change == ScreenChange::kScreens) return *mask.onScreensChanged();
    if (news.change == ScreenChange::kSpace) return *mask.onSpaceChanged();
    if (news.coversShown) {
      if (Outcome end = mask.onCoversShown()) return *end;
    }
    if (Outcome end = mask.onTimers()) return *end;
  }
}

}  // namespace quorvane::desktop::posix
