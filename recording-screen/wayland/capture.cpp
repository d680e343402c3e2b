#include "recording-screen/wayland/capture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"

namespace quorvane::recording::wayland {

namespace {

constexpr char kConnectionLost[] = "the connection to the compositor was lost";
constexpr char kCopyFailed[] = "the compositor could not copy the output";
constexpr char kNoFormat[] = "the compositor offers no 32-bit shared-memory format for the output";
constexpr char kNoMemory[] = "no shared memory for a frame";
constexpr char kTurned[] = "the output is turned or flipped, which this capture does not undo";
// A capture thread stuck in a compositor that stopped answering is not
// waited for longer: the process is ending.
constexpr auto kHaltWait = std::chrono::seconds(2);
// Changed rows kept for the next picture, however long none is asked for:
// beyond this many stretches they become one.
constexpr std::size_t kMaxChangedSpans = 64;

// In memory both are blue, green, red, then a byte the encoder ignores.
bool readableFormat(std::uint32_t format) {
  return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888;
}

void addRows(std::vector<RowSpan>& rows, std::uint32_t top, std::uint32_t bottom) {
  if (bottom > top) rows.push_back({top, bottom});
  if (rows.size() > kMaxChangedSpans) {
    RowSpan all = rows.front();
    for (const auto& r : rows) all = {std::min(all.top, r.top), std::max(all.bottom, r.bottom)};
    rows = {all};
  }
}

class LazyFrame final : public FrameImage {
 public:
  explicit LazyFrame(WaylandCapture& capture) : capture_(capture) {}
  std::optional<PixelView> pixels() override { return capture_.latestPicture(); }

 private:
  WaylandCapture& capture_;
};

}  // namespace

// One screencopy request and what the compositor said about it.
struct WaylandCapture::Copy {
  WaylandCapture* owner = nullptr;
  zwlr_screencopy_frame_v1* frame = nullptr;
  std::uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool offered = false, started = false, yInverted = false;
  int buffer = -1;
  std::vector<RowSpan> damage;
};

namespace {

using Copy = WaylandCapture::Copy;

const zwlr_screencopy_frame_v1_listener kCopyListener = {
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
       std::uint32_t stride) {
      auto* c = static_cast<Copy*>(data);
      if (!c->offered && readableFormat(format)) {
        c->offered = true;
        c->format = format;
        c->width = width;
        c->height = height;
        c->stride = stride;
      }
      // Before version 3 this is the only description there is.
      if (zwlr_screencopy_frame_v1_get_version(c->frame) < ZWLR_SCREENCOPY_FRAME_V1_BUFFER_DONE_SINCE_VERSION) {
        c->owner->described(*c);
      }
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
      static_cast<Copy*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
      auto* c = static_cast<Copy*>(data);
      c->owner->copied(*c);
    },
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Copy*>(data)->owner->copyFailed(); },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t y, std::uint32_t, std::uint32_t height) {
      auto* c = static_cast<Copy*>(data);
      c->damage.push_back({y, y + height});
    },
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*) {
      auto* c = static_cast<Copy*>(data);
      c->owner->described(*c);
    }};

}  // namespace

WaylandCapture::WaylandCapture() = default;

WaylandCapture::~WaylandCapture() {
  halt();
  if (wakeFd_ >= 0) close(wakeFd_);
}

bool WaylandCapture::permitted() {
  if (!connection_) connection_ = quorvane::wayland::Connection::open();
  // Without screencopy no client may read the screen.
  return connection_ && !connection_->broken() && connection_->screencopy() && connection_->shm();
}

ContentResult WaylandCapture::shareableContent() {
  if (!connection_ || connection_->broken()) return {std::nullopt, kConnectionLost};
  ShareableContent content;
  for (const auto& o : connection_->outputs()) {
    if (o->done) content.displays.push_back(Display{o->id, o->pixelWidth(), o->pixelHeight()});
  }
  // Only sway tells whose windows are where; elsewhere no application is
  // known, and the application's windows cannot be left out.
  if (auto ipc = quorvane::wayland::SwayIpc::forSession(connection_->peerPid())) {
    if (auto tree = ipc->request(quorvane::wayland::kSwayGetTree)) content.applicationPids = treePids(*tree);
  }
  return {content, {}};
}

std::optional<std::string> WaylandCapture::start(const ContentFilter& filter, const StreamConfiguration& configuration,
                                                 StreamOutput& output) {
  filter_ = filter;
  configuration_ = configuration;
  output_ = &output;
  changesSeen_ = connection_->changes();
  const auto* o = connection_->output(filter.display.id);
  if (!o || o->pixelWidth() != configuration.width || o->pixelHeight() != configuration.height) {
    return std::string("the output has changed");
  }
  // Its copies come as the compositor scans them out: sideways or mirrored.
  if (o->transform != WL_OUTPUT_TRANSFORM_NORMAL) return std::string(kTurned);
  wlOutput_ = o->output;
  place_ = {o->x, o->y, o->logicalWidth, o->logicalHeight, o->pixelWidth(), o->pixelHeight(), o->transform != 0};
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) return std::string(std::strerror(errno));
  thread_ = std::thread([this] { run(); });
  return std::nullopt;
}

std::optional<std::string> WaylandCapture::stop() {
  halt();
  return std::nullopt;
}

void WaylandCapture::frameRequested() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    requested_ = true;
  }
  wakeUp();
}

void WaylandCapture::wakeUp() {
  if (wakeFd_ < 0) return;
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(wakeFd_, &one, sizeof one);
}

void WaylandCapture::halt() {
  std::unique_lock<std::mutex> lock(mutex_);
  halted_ = true;
  wake_.notify_all();
  wakeUp();
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  bool finished = wake_.wait_for(lock, kHaltWait, [this] { return finished_; });
  lock.unlock();
  if (finished) thread_.join();
  else thread_.detach();
}

void WaylandCapture::run() {
  loop();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    finished_ = true;
  }
  wake_.notify_all();
}

void WaylandCapture::park() {
  // Waits until halted: a thread that finished unjoined when the process
  // ends is a leak, and the process ends without halting it.
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return halted_; });
}

void WaylandCapture::loop() {
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / std::max(configuration_.frameRate, 1)));
  auto next = Clock::now();
  if (!issueCopy()) ended_ = true;
  for (;;) {
    if (ended_) return park();
    bool requested, waiting;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (halted_) return;
      requested = requested_;
      waiting = waitingForChange_;
    }
    auto now = Clock::now();
    // A request does not wait for the next tick, nor a change one waits for.
    bool due = anyCopied_ && (now >= next || requested || (waiting && copiedSinceTick_));
    if (due) {
      {
        std::lock_guard<std::mutex> guard(mutex_);
        requested_ = false;
      }
      tick(requested);
      next = std::max(next + interval, now);
      if (next > now + interval) next = now + interval;
      continue;
    }
    int timeout = -1;
    if (anyCopied_) {
      timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
    }
    if (!pump(timeout)) {
      output_->stoppedWithError(kConnectionLost);
      ended_ = true;
      continue;
    }
    if (copyFailed_) {
      // An output that went away fails its copy before its removal arrives.
      connection_->roundtrip(quorvane::posix::answerDeadline());
      changesSeen_ = connection_->changes();
      if (outputStillFits()) {
        ended_ = true;
        output_->stoppedWithError(kCopyFailed);
      }
    } else if (connection_->changes() != changesSeen_) {
      changesSeen_ = connection_->changes();
      outputStillFits();
    }
  }
}

// Waits up to `timeoutMs` for the compositor or a wake-up and handles what
// came; false once the connection is lost.
bool WaylandCapture::pump(int timeoutMs) {
  pollfd wake{wakeFd_, POLLIN, 0};
  if (!connection_->wait({&wake, 1}, timeoutMs)) return false;
  if (wake.revents & POLLIN) {
    std::uint64_t count;
    [[maybe_unused]] auto r = read(wakeFd_, &count, sizeof count);
  }
  return true;
}

bool WaylandCapture::issueCopy() {
  copy_ = std::make_unique<Copy>();
  copy_->owner = this;
  copy_->frame = zwlr_screencopy_manager_v1_capture_output(connection_->screencopy(),
                                                           configuration_.showsCursor ? 1 : 0, wlOutput_);
  if (!copy_->frame) return false;
  zwlr_screencopy_frame_v1_add_listener(copy_->frame, &kCopyListener, copy_.get());
  return true;
}

void WaylandCapture::described(Copy& copy) {
  if (copy.started || ended_) return;
  copy.started = true;
  if (!copy.offered) {
    ended_ = true;
    output_->stoppedWithError(kNoFormat);
    return;
  }
  if (copy.width != configuration_.width || copy.height != configuration_.height) {
    ended_ = true;
    output_->displayGone();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    for (int i = 0; i < static_cast<int>(buffers_.size()); ++i) {
      if (i != front_ && i != held_) copy.buffer = i;
    }
  }
  // Neither the latest picture nor the one being read: only this thread touches it.
  auto& buffer = buffers_[static_cast<std::size_t>(copy.buffer)];
  if (!buffer || buffer->width() != copy.width || buffer->height() != copy.height ||
      buffer->stride() != copy.stride || buffer->format() != copy.format) {
    buffer.reset();
    buffer = quorvane::wayland::ShmBuffer::create(connection_->shm(), copy.width, copy.height, copy.stride,
                                                  copy.format);
    if (!buffer) {
      ended_ = true;
      output_->stoppedWithError(kNoMemory);
      return;
    }
  }
  // The compositor counts everything as changed for a client's first copy
  // with damage, so that one comes at once; later ones once something changed.
  if (connection_->screencopyVersion() >= ZWLR_SCREENCOPY_FRAME_V1_COPY_WITH_DAMAGE_SINCE_VERSION) {
    zwlr_screencopy_frame_v1_copy_with_damage(copy.frame, buffer->buffer());
  } else {
    zwlr_screencopy_frame_v1_copy(copy.frame, buffer->buffer());
    copy.damage = {{0, copy.height}};
  }
}

void WaylandCapture::copied(Copy& copy) {
  auto* buffer = buffers_[static_cast<std::size_t>(copy.buffer)].get();
  if (copy.yInverted) {
    // Bottom row first in memory: turned upright here, its damage with it.
    std::vector<std::uint8_t> row(buffer->stride());
    for (std::uint32_t top = 0, bottom = buffer->height() - 1; top < bottom; ++top, --bottom) {
      std::uint8_t* a = buffer->data() + std::size_t{top} * buffer->stride();
      std::uint8_t* b = buffer->data() + std::size_t{bottom} * buffer->stride();
      std::memcpy(row.data(), a, row.size());
      std::memcpy(a, b, row.size());
      std::memcpy(b, row.data(), row.size());
    }
    for (auto& span : copy.damage) span = {buffer->height() - std::min(span.bottom, buffer->height()),
                                           buffer->height() - std::min(span.top, buffer->height())};
  }
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    front_ = copy.buffer;
    for (const auto& span : copy.damage) addRows(changedRows_, span.top, std::min(span.bottom, buffer->height()));
  }
  anyCopied_ = true;
  copiedSinceTick_ = true;
  zwlr_screencopy_frame_v1_destroy(copy.frame);
  if (!issueCopy()) {
    ended_ = true;
    output_->stoppedWithError(kCopyFailed);
  }
}

void WaylandCapture::copyFailed() { copyFailed_ = true; }

bool WaylandCapture::outputStillFits() {
  if (ended_) return false;
  const auto* o = connection_->output(filter_.display.id);
  if (!o || o->output != wlOutput_ || o->pixelWidth() != configuration_.width ||
      o->pixelHeight() != configuration_.height || o->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
    ended_ = true;
    output_->displayGone();
    return false;
  }
  std::lock_guard<std::mutex> guard(picturesLock_);
  place_ = {o->x, o->y, o->logicalWidth, o->logicalHeight, o->pixelWidth(), o->pixelHeight(), o->transform != 0};
  return true;
}

void WaylandCapture::tick(bool requested) {
  bool changed = copiedSinceTick_;
  copiedSinceTick_ = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (changed) waitingForChange_ = false;
    else if (requested) waitingForChange_ = true;
  }
  Sample sample;
  sample.valid = true;
  sample.status = changed ? kFrameComplete : kFrameIdle;
  sample.image = std::make_shared<LazyFrame>(*this);
  output_->deliver(std::move(sample));
}

std::vector<PixelRect> WaylandCapture::applicationAreas(const OutputPlace& place) {
  const std::vector<PixelRect> whole = {{0, 0, place.pixelWidth, place.pixelHeight}};
  if (!ipc_) {
    ipc_ = quorvane::wayland::SwayIpc::forSession(connection_->peerPid());
    if (!ipc_) return whole;
  }
  auto tree = ipc_->request(quorvane::wayland::kSwayGetTree);
  if (!tree) {
    ipc_.reset();  // opened afresh for the next frame
    return whole;
  }
  return coveredBy(*tree, filter_.excludedPids, place);
}

std::optional<PixelView> WaylandCapture::latestPicture() {
  quorvane::wayland::ShmBuffer* buffer;
  std::vector<RowSpan> rows;
  bool first;
  OutputPlace place;
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    if (front_ < 0) return std::nullopt;
    held_ = front_;
    buffer = buffers_[static_cast<std::size_t>(held_)].get();
    first = !std::exchange(givenOnce_, true);
    rows = std::exchange(changedRows_, {});
    place = place_;
  }
  // Painted over where the application's windows are, in the picture itself:
  // the compositor copies the whole output into it again before it is shown next.
  auto covered = applicationAreas(place);
  for (const auto& r : covered) {
    for (std::uint32_t y = r.y; y < r.y + r.height && y < buffer->height(); ++y) {
      auto* px = reinterpret_cast<std::uint32_t*>(buffer->data() + std::size_t{y} * buffer->stride());
      std::fill(px + r.x, px + std::min(r.x + r.width, buffer->width()), 0xFF000000u | kCoverXrgb);
    }
  }
  PixelView view{buffer->data(), buffer->width(), buffer->height(), buffer->stride(), std::nullopt};
  if (!first) {
    // Covered areas count as changed where they are and where they were.
    for (const auto* areas : {&covered, &coveredBefore_}) {
      for (const auto& r : *areas) addRows(rows, r.y, std::min(r.y + r.height, buffer->height()));
    }
    view.changed = std::move(rows);
  }
  coveredBefore_ = std::move(covered);
  return view;
}

}  // namespace quorvane::recording::wayland
