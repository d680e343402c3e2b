#include "recording-screen/wayland/capture.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"
#include "recording-screen/changed_rows.h"
#include "recording-screen/wayland/outputs.h"

namespace quorvane::recording::wayland {

namespace {

constexpr char kConnectionLost[] = "the connection to the compositor was lost";
constexpr char kCopyFailed[] = "the compositor could not copy the output";
constexpr char kNoAnswer[] = "the compositor stopped answering";
constexpr char kNoFormat[] = "the compositor offers no 32-bit shared-memory format for the output";
constexpr char kNoMemory[] = "no shared memory for a frame";
constexpr char kTurned[] = "the output is turned or flipped, which this capture does not undo";
constexpr std::uint32_t kBytesPerPixel = 4;

// In memory both are blue, green, red, then a byte the encoder ignores.
bool readableFormat(std::uint32_t format) {
  return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888;
}

// A row as long as the pixels and a little padding: a longer one would be
// memory the compositor makes us map and touch for nothing.
bool rowFits(std::uint32_t width, std::uint32_t stride) {
  const std::uint64_t row = std::uint64_t{width} * kBytesPerPixel;
  return stride >= row && stride - row <= kMaxRowPadding;
}

int millisTo(quorvane::posix::Deadline deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, INT_MAX));
}

}  // namespace

// One screencopy request and what the compositor said about it. Events of a
// copy not yet asked for (no buffer given) are not believed.
struct WaylandCapture::Copy {
  WaylandCapture* owner = nullptr;
  zwlr_screencopy_frame_v1* frame = nullptr;
  std::uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool offered = false, started = false, yInverted = false;
  int buffer = -1;  // the buffer it copies into, once asked
  std::vector<RowSpan> damage;
  quorvane::posix::Deadline describeBy;  // a compositor describes the buffer it wants at once
};

namespace {

using Copy = WaylandCapture::Copy;

const zwlr_screencopy_frame_v1_listener kCopyListener = {
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
       std::uint32_t stride) {
      auto* c = static_cast<Copy*>(data);
      if (!c->started && !c->offered && readableFormat(format) && rowFits(width, stride)) {
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
      if (c->buffer >= 0) c->owner->copied(*c);
    },
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Copy*>(data)->owner->copyFailed(); },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t y, std::uint32_t, std::uint32_t height) {
      auto* c = static_cast<Copy*>(data);
      const auto bottom = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{y} + height, c->height));
      if (c->buffer >= 0) keepChanged(c->damage, {y, bottom});
    },
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*) {
      auto* c = static_cast<Copy*>(data);
      c->owner->described(*c);
    }};

}  // namespace

WaylandCapture::WaylandCapture(std::unique_ptr<quorvane::wayland::Connection> connection)
    : connection_(std::move(connection)) {}

WaylandCapture::~WaylandCapture() {
  if (copy_ && copy_->frame) zwlr_screencopy_frame_v1_destroy(copy_->frame);
}

bool WaylandCapture::permitted() {
  if (!connection_) connection_ = quorvane::wayland::Connection::open();
  // Without screencopy no client may read the screen.
  return connection_ && !connection_->broken() && connection_->screencopy() && connection_->shm();
}

ContentResult WaylandCapture::shareableContent() {
  if (!connection_ || connection_->broken()) return {std::nullopt, kConnectionLost};
  ShareableContent content{displaysOf(*connection_), {}};
  // Only sway tells whose windows are where; elsewhere no application is
  // known, and the application's windows cannot be left out.
  if (auto ipc = quorvane::wayland::SwayIpc::forSession(connection_->peerPid())) {
    if (auto reply = ipc->request(quorvane::wayland::kSwayGetTree)) {
      content.applicationPids = treePids(quorvane::wayland::readSwayTree(*reply));
    }
  }
  return {content, {}};
}

std::optional<std::string> WaylandCapture::start(const ContentFilter& filter,
                                                 const StreamConfiguration& configuration) {
  filter_ = filter;
  configuration_ = configuration;
  changesSeen_ = connection_->changes();
  const auto* o = configuredOutput(*connection_, filter, configuration);
  if (!o) return std::string(kOutputChanged);
  // Its copies come as the compositor scans them out: sideways or mirrored.
  if (o->transform != WL_OUTPUT_TRANSFORM_NORMAL) return std::string(kTurned);
  wlOutput_ = o->output;
  place_ = placeOf(*o, true);
  if (!wakeUp_.valid()) return std::string("no event descriptor for the capture thread");
  if (!issueCopy()) return std::string(kCopyFailed);
  return std::nullopt;
}

// A copy arriving is a change told at once. A compositor that does not even
// describe the buffer it wants has stopped answering.
Waited WaylandCapture::wait(int timeoutMs) {
  if (!end_) {
    const bool describing = copy_ && !copy_->started;
    pollfd wake = wakeUp_.pollFor();
    if (!connection_->wait({&wake, 1}, describing ? std::min(timeoutMs, millisTo(copy_->describeBy)) : timeoutMs)) {
      end({false, kConnectionLost});
    } else {
      if (wake.revents & POLLIN) wakeUp_.clear();
      checkOutput();
    }
    if (copy_ && !copy_->started && std::chrono::steady_clock::now() >= copy_->describeBy) end({false, kNoAnswer});
  }
  return {std::exchange(copiedDuringWait_, false), end_};
}

std::optional<bool> WaylandCapture::takeChange() {
  if (!anyCopied_) return std::nullopt;
  return std::exchange(copiedSinceTick_, false);
}

void WaylandCapture::end(StreamEnd why) {
  if (!end_) end_ = std::move(why);
}

void WaylandCapture::checkOutput() {
  if (end_) return;
  if (copyFailed_) {
    // An output that went away fails its copy before its removal arrives.
    connection_->roundtrip(quorvane::posix::answerDeadline());
    changesSeen_ = connection_->changes();
    if (outputStillFits()) end({false, kCopyFailed});
  } else if (connection_->changes() != changesSeen_) {
    changesSeen_ = connection_->changes();
    outputStillFits();
  }
}

bool WaylandCapture::issueCopy() {
  copy_ = std::make_unique<Copy>();
  copy_->owner = this;
  copy_->describeBy = quorvane::posix::answerDeadline();
  copy_->frame = zwlr_screencopy_manager_v1_capture_output(connection_->screencopy(),
                                                           configuration_.showsCursor ? 1 : 0, wlOutput_);
  if (!copy_->frame) return false;
  zwlr_screencopy_frame_v1_add_listener(copy_->frame, &kCopyListener, copy_.get());
  return true;
}

void WaylandCapture::described(Copy& copy) {
  if (copy.started || end_) return;
  copy.started = true;
  if (!copy.offered) return end({false, kNoFormat});
  if (copy.width != configuration_.width || copy.height != configuration_.height) return end({true, {}});
  int buffer = -1;
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    for (int i = 0; i < static_cast<int>(buffers_.size()); ++i) {
      if (i != front_ && i != held_) buffer = i;
    }
  }
  // Neither the latest picture nor the one being read: only this thread touches it.
  auto& shm = buffers_[static_cast<std::size_t>(buffer)];
  if (!shm || shm->width() != copy.width || shm->height() != copy.height || shm->stride() != copy.stride ||
      shm->format() != copy.format) {
    shm.reset();
    shm = quorvane::wayland::ShmBuffer::create(connection_->shm(), copy.width, copy.height, copy.stride, copy.format);
    if (!shm) return end({false, kNoMemory});
  }
  copy.buffer = buffer;
  // The compositor counts everything as changed for a client's first copy
  // with damage, so that one comes at once; later ones once something changed.
  if (connection_->screencopyVersion() >= ZWLR_SCREENCOPY_FRAME_V1_COPY_WITH_DAMAGE_SINCE_VERSION) {
    zwlr_screencopy_frame_v1_copy_with_damage(copy.frame, shm->buffer());
  } else {
    zwlr_screencopy_frame_v1_copy(copy.frame, shm->buffer());
    copy.damage = {{0, copy.height}};
  }
}

void WaylandCapture::copied(Copy& copy) {
  if (end_) return;
  auto* buffer = buffers_[static_cast<std::size_t>(copy.buffer)].get();
  if (copy.yInverted) {
    // Bottom row first in memory: turned upright here, its damage with it.
    std::vector<std::uint8_t> row(std::size_t{buffer->width()} * kBytesPerPixel);
    for (std::uint32_t top = 0, bottom = buffer->height() - 1; top < bottom; ++top, --bottom) {
      std::uint8_t* a = buffer->data() + std::size_t{top} * buffer->stride();
      std::uint8_t* b = buffer->data() + std::size_t{bottom} * buffer->stride();
      std::memcpy(row.data(), a, row.size());
      std::memcpy(a, b, row.size());
      std::memcpy(b, row.data(), row.size());
    }
    for (auto& span : copy.damage) span = {buffer->height() - span.bottom, buffer->height() - span.top};
  }
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    front_ = copy.buffer;
    for (const auto& span : copy.damage) keepChanged(changedRows_, span);
  }
  anyCopied_ = copiedSinceTick_ = copiedDuringWait_ = true;
  zwlr_screencopy_frame_v1_destroy(copy.frame);
  if (!issueCopy()) end({false, kCopyFailed});
}

bool WaylandCapture::outputStillFits() {
  const auto* o = configuredOutput(*connection_, filter_, configuration_);
  if (!o || o->output != wlOutput_ || o->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
    end({true, {}});
    return false;
  }
  std::lock_guard<std::mutex> guard(picturesLock_);
  place_ = placeOf(*o, true);
  return true;
}

Covered WaylandCapture::applicationAreas(const OutputPlace& place) {
  if (!ipc_) ipc_ = quorvane::wayland::SwayIpc::forSession(connection_->peerPid());
  auto reply = ipc_ ? ipc_->request(quorvane::wayland::kSwayGetTree) : std::nullopt;
  if (!reply) ipc_.reset();  // opened afresh for the next frame
  auto tree = reply ? quorvane::wayland::readSwayTree(*reply) : std::nullopt;
  return coveredBy(swayWindows(tree), filter_.excludedPids, place, placesBefore_);
}

Picture WaylandCapture::readPicture() {
  quorvane::wayland::ShmBuffer* buffer;
  std::vector<RowSpan> rows;
  bool first;
  OutputPlace place;
  {
    std::lock_guard<std::mutex> guard(picturesLock_);
    if (front_ < 0) return {};
    held_ = front_;
    buffer = buffers_[static_cast<std::size_t>(held_)].get();
    first = !std::exchange(givenOnce_, true);
    rows = std::exchange(changedRows_, {});
    place = place_;
  }
  // Painted over in the picture itself: the compositor copies the whole output
  // into it again before it is shown next.
  auto covered = applicationAreas(place);
  const auto& painted = covered.pixels;
  paintOver(buffer->data(), buffer->stride(), buffer->width(), buffer->height(), painted);
  PixelView view{buffer->data(), buffer->width(), buffer->height(), buffer->stride(), std::nullopt};
  if (!first) {
    // Painted areas count as changed where they are and where they were.
    for (const auto* areas : {&painted, &std::as_const(paintedBefore_)}) {
      for (const auto& r : *areas) keepChanged(rows, {r.y, std::min(r.y + r.height, buffer->height())});
    }
    view.changed = std::move(rows);
  }
  placesBefore_ = std::move(covered.places);
  paintedBefore_ = std::move(covered.pixels);
  return {view, std::nullopt};
}

}  // namespace quorvane::recording::wayland
