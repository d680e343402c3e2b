// The capture thread: one frame of the window system per tick, complete when
// the display changed since the last one, else idle. Ticks come at the frame
// rate (the pacing rule of common/ticks.h, on the platform's clock); a frame
// asked for comes at once, and one asked for while nothing changed comes as
// soon as something does. Pixels are read only when a frame is handled.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/clock.h"
#include "recording-screen/capture.h"

namespace quorvane::recording {

// Where a running stream delivers. Calls come from the capture thread and,
// for an end found while reading pixels, from whoever reads them.
class StreamSink {
 public:
  virtual ~StreamSink() = default;
  virtual void deliver(Sample sample) = 0;
  virtual void ended(const StreamEnd& end) = 0;
};

// A thread stuck in the window system (behind another client's server grab)
// is not waited for longer when it is halted: the process is ending.
inline constexpr double kHaltSeconds = 2.0;

// The description of a failure that left by an exception (no memory, no thread).
std::string describeFailure(const std::exception& failure);

class CaptureThread {
 public:
  CaptureThread(CaptureService& service, Clock& clock, StreamSink& sink, std::int32_t frameRate);
  ~CaptureThread();  // halts
  CaptureThread(const CaptureThread&) = delete;
  CaptureThread& operator=(const CaptureThread&) = delete;

  // Starts the thread; its first tick is at once. Throws std::system_error
  // when no thread can be had.
  void start();
  // A frame was asked for: the next tick comes now.
  void request();
  // Stops the thread and waits up to kHaltSeconds for it. After an end the
  // thread waits here, parked: one that finished unjoined when the process
  // ends is a leak.
  void halt();

 private:
  void run();
  void loop();

  CaptureService& service_;
  Clock& clock_;
  StreamSink& sink_;
  double interval_;
  std::shared_ptr<FrameImage> frame_;  // every sample's pixels: the service's picture when read

  std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
  bool halted_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace quorvane::recording
