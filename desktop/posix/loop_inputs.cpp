#include "desktop/posix/loop_inputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <glib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "desktop/images/image_file.h"

namespace quorvane::desktop::posix {

namespace {

// One read is one chunk; more than 100 bytes is refused anyway.
constexpr std::size_t kChunkBuffer = 4096;

sigset_t terminationSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  return set;
}

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

}  // namespace

TerminationBlocked::TerminationBlocked() {
  sigset_t set = terminationSignal();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

TerminationBlocked::~TerminationBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

int takeTerminationSignal() {
  sigset_t set = terminationSignal();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

Outcome onTerminationSignal(DesktopMask& mask, int signalFd) {
  signalfd_siginfo info;
  if (::read(signalFd, &info, sizeof info) <= 0) return std::nullopt;
  return mask.onTerminate();
}

std::optional<std::string> readControlChunk(int fd) {
  char buffer[kChunkBuffer];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return std::nullopt;
  // A read error is the end of input as far as the application's pipe goes.
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

Outcome onControlInput(DesktopMask& mask, short revents, bool& open) {
  if (!(revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return std::nullopt;
  auto chunk = (revents & POLLNVAL) ? std::string() : readControlChunk(STDIN_FILENO);
  if (!chunk) return std::nullopt;
  open = false;
  return mask.onControlChunk(*chunk);
}

int timeoutMs(const DesktopMask& mask, Clock& clock) {
  auto next = mask.nextWakeup();
  if (!next) return -1;
  return static_cast<int>(std::ceil(std::max(0.0, *next - clock.now()) * 1000.0));
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

}  // namespace quorvane::desktop::posix
