// What the screen streamer relies on from the system: the capture service, the
// JPEG encoder, standard input and output, and the process around it. The core
// decides everything else; backends only answer these calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::recording {

struct PixelSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// One display the capture service can share.
struct Display {
  std::uint32_t id = 0;
  std::uint32_t width = 0;   // as the capture service reports it
  std::uint32_t height = 0;
  std::optional<PixelSize> mode;  // the current display mode in pixels, when the system knows it
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

inline constexpr std::uint32_t kPixelFormatBgra = 0x42475241;  // 'BGRA'

struct StreamConfiguration {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::int32_t frameRate = 0;  // minimum frame interval = 1 / frameRate seconds
  int queueDepth = 0;
  bool showsCursor = true;
  std::uint32_t pixelFormat = kPixelFormatBgra;
};

// 32-bit pixels, blue, green, red, then a byte that is ignored.
struct PixelView {
  const std::uint8_t* bgrx = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t stride = 0;  // bytes from one row to the next
};

// The pixels of one captured frame. Reading may be deferred until someone
// asks: most frames are dropped unread.
class FrameImage {
 public:
  virtual ~FrameImage() = default;
  // nullopt when the pixels cannot be read. Valid until the next frame is read.
  virtual std::optional<PixelView> pixels() = 0;
};

enum class OutputType { screen, audio };

// Frame status values of the capture service.
inline constexpr std::int64_t kFrameComplete = 0;  // new content
inline constexpr std::int64_t kFrameIdle = 1;      // nothing changed

struct Sample {
  OutputType type = OutputType::screen;
  bool valid = true;
  std::optional<std::int64_t> status;  // none: no attachments, or no integer status in them
  std::shared_ptr<FrameImage> image;   // none: the sample carries no image buffer
};

// Where a running stream delivers. Both calls may come from any thread.
class StreamOutput {
 public:
  virtual ~StreamOutput() = default;
  virtual void deliver(Sample sample) = 0;
  virtual void stoppedWithError(const std::string& description) = 0;
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
  virtual void frameRequested() {}
  // Stops delivering without answering; the process is ending.
  virtual void halt() {}
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
  virtual void interrupt() {}
};

class Process {
 public:
  virtual ~Process() = default;
  virtual std::int32_t parentPid() = 0;
  virtual std::int32_t ownPid() = 0;
  // Writes the parts to standard output, in order and in full, with as few
  // writes as the pipe allows; an error description on failure.
  virtual std::optional<std::string> writeOutput(std::span<const std::string_view> parts) = 0;
};

struct Platform {
  CaptureService& capture;
  Encoder& encoder;
  ControlInput& input;
  Process& process;
};

}  // namespace quorvane::recording
