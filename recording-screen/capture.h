// What the screen streamer relies on from the system: a capture service, a
// JPEG encoder, standard input and output, the process around it and time.
// The core decides everything else; a backend only answers these calls.
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

// 32-bit pixels, blue, green, red, then a byte that is ignored.
struct PixelView {
  const std::uint8_t* bgrx = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t stride = 0;  // bytes from one row to the next
  // The only rows that may differ from the picture read before, when the
  // backend knows; an encoder may keep what it made of the others.
  std::optional<std::vector<RowSpan>> changed;
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

// Where a running stream delivers. Every call may come from any thread.
class StreamOutput {
 public:
  virtual ~StreamOutput() = default;
  virtual void deliver(Sample sample) = 0;
  virtual void stoppedWithError(const std::string& description) = 0;
  // The display was unplugged, resized or moved: the stream shows the wrong area.
  virtual void displayGone() = 0;
};

class CaptureService {
 public:
  virtual ~CaptureService() = default;
  // Whether this process may capture the screen; never asks the user.
  virtual bool permitted() = 0;
  virtual ContentResult shareableContent() = 0;
  // Starts delivering frames to output; an error description when it cannot.
  virtual std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration,
                                           StreamOutput& output) = 0;
  // Stops the running capture and waits for it; an error description when it fails.
  virtual std::optional<std::string> stop() = 0;
  // A frame was asked for: a service that paces itself may deliver the next
  // frame now instead of at its next tick.
  virtual void frameRequested() = 0;
  // Stops delivering without answering; the process is ending.
  virtual void halt() = 0;
};

class Encoder {
 public:
  virtual ~Encoder() = default;
  // JPEG file data of the whole picture, or nullopt when encoding fails.
  virtual std::optional<std::string> encodeJpeg(const PixelView& pixels) = 0;
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
  Clock& clock;  // paces the parent watch
};

}  // namespace quorvane::recording
