// What the screen streamer relies on from the system: a window system to
// capture, a JPEG encoder, standard input and output, the process around it
// and time. The core decides everything else, the capture thread and its pacing
// included; a backend (x11/, wayland/) only answers these calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/process.h"

namespace quorvane::recording {

// One display the capture service can share, with its size in pixels.
struct Display {
  std::uint32_t id = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

struct ShareableContent {
  std::vector<Display> displays;
  std::vector<std::int32_t> applicationPids;  // the shareable applications, in the service's order
};

struct ContentResult {
  std::optional<ShareableContent> content;
  std::string error;  // why there is none
};

// The whole display, minus every window of these applications.
struct ContentFilter {
  Display display;
  std::vector<std::int32_t> excludedPids;
};

struct StreamConfiguration {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::int32_t frameRate = 0;  // minimum frame interval = 1 / frameRate seconds
  int queueDepth = 0;
  bool showsCursor = true;
};

// Pixel rows [top, bottom).
struct RowSpan {
  std::uint32_t top = 0, bottom = 0;
  bool operator==(const RowSpan&) const = default;
};

class RowsArriving;

// 32-bit pixels, blue, green, red, then a byte that is ignored.
struct PixelView {
  const std::uint8_t* bgrx = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t stride = 0;  // bytes from one row to the next
  // The only rows that may differ from the picture read before, when the
  // backend knows; an encoder may keep what it made of the others.
  std::optional<std::vector<RowSpan>> changed;
  // None: every row is there already. Valid as long as the pixels.
  RowsArriving* arriving = nullptr;
};

// The pixels of one captured frame. Reading may be deferred until someone
// asks: most frames are dropped unread.
class FrameImage {
 public:
  virtual ~FrameImage() = default;
  // nullopt when the pixels cannot be read. Valid until the next frame is read.
  virtual std::optional<PixelView> pixels() = 0;
};

// Frame status values of the capture service.
inline constexpr std::int64_t kFrameComplete = 0;  // new content
inline constexpr std::int64_t kFrameIdle = 1;      // nothing changed

struct Sample {
  bool valid = true;
  std::optional<std::int64_t> status;  // none: the service gave no status
  std::shared_ptr<FrameImage> image;   // none: the sample carries no pixels
};

// Why a running stream cannot go on.
struct StreamEnd {
  bool displayGone = false;  // unplugged, resized or moved: the stream would show the wrong area
  std::string error;         // else what failed
  bool operator==(const StreamEnd&) const = default;
};

// The rows of a picture still being read back, in bands from the top, so
// that encoding the first rows overlaps reading the last.
class RowsArriving {
 public:
  virtual ~RowsArriving() = default;
  // Waits until every row above `bottom` that is read at all is in the
  // picture; false when some never will be. Safe from any thread.
  virtual bool await(std::uint32_t bottom) = 0;
  // After a failed await: why the stream cannot go on, when that is why.
  virtual std::optional<StreamEnd> end() { return std::nullopt; }
  // Without waiting, taking in what has come: true when await(bottom) would
  // return at once (the rows are in, or some never will be), false while they
  // are still on their way, nullopt when that cannot be told without waiting.
  // A thread with a core of its own may poll this rather than sleep in
  // await(): woken by the window system's answer, it can be queued behind the
  // window system itself for milliseconds where cores share no cache.
  virtual std::optional<bool> arrivedYet(std::uint32_t bottom) {
    (void)bottom;
    return std::nullopt;
  }
};

// What a wait on the window system brought.
struct Waited {
  bool changed = false;  // the display changed meanwhile, as far as the window system tells at once
  std::optional<StreamEnd> end;
};

// A frame's pixels, or why there are none: the stream cannot go on, or
// (neither) this one frame could not be read.
struct Picture {
  std::optional<PixelView> pixels;
  std::optional<StreamEnd> end;
};

class CaptureService {
 public:
  virtual ~CaptureService() = default;
  // Whether this process may capture the screen; never asks the user.
  virtual bool permitted() = 0;
  virtual ContentResult shareableContent() = 0;
  // Gets ready to capture; an error description when it cannot. The capture
  // thread's calls below follow, until the process ends.
  virtual std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration) = 0;

  // On the capture thread: waits up to timeoutMs (never longer) for the window
  // system, or until wake(), and handles what came.
  virtual Waited wait(int timeoutMs) = 0;
  // On the capture thread: whether the display changed since the last call;
  // nullopt while nothing has been captured yet.
  virtual std::optional<bool> takeChange() = 0;
  // From any thread: ends the current or next wait at once.
  virtual void wake() = 0;
  // On the sample worker: the picture of the display now (or as last
  // captured), valid until the next call.
  virtual Picture readPicture() = 0;
};

class Encoder {
 public:
  virtual ~Encoder() = default;
  // JPEG file data of the whole picture, or nullopt when encoding fails.
  virtual std::optional<std::string> encodeJpeg(const PixelView& pixels) = 0;
  // The same file in parts that follow each other, valid until the next call:
  // an encoder that keeps the file in pieces has them written as they are,
  // without joining them first.
  virtual std::optional<std::vector<std::string_view>> encodeJpegParts(const PixelView& pixels) {
    whole_ = encodeJpeg(pixels);
    if (!whole_) return std::nullopt;
    return std::vector<std::string_view>{*whole_};
  }

 private:
  std::optional<std::string> whole_;
};

// Standard input as the control reader sees it.
class ControlInput {
 public:
  virtual ~ControlInput() = default;
  // The next bytes (blocking); nullopt at end of input.
  virtual std::optional<std::string> read() = 0;
  // Unblocks a pending read for good; called only when the streamer is torn down.
  virtual void interrupt() = 0;
};

// Standard output, where frame records go.
class RecordOutput {
 public:
  virtual ~RecordOutput() = default;
  // Writes the parts in order and in full, with as few writes as the pipe
  // allows; an error description on failure.
  virtual std::optional<std::string> write(std::span<const std::string_view> parts) = 0;
};

struct Platform {
  CaptureService& capture;
  Encoder& encoder;
  ControlInput& input;
  RecordOutput& output;
  Process& process;
  Clock& clock;  // paces the capture thread and the parent watch
};

}  // namespace quorvane::recording
