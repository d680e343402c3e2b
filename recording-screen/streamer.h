// The streamer's life: the command line, the start of the capture, the control
// reader, the parent watch and the stop. Five places of work share it: the
// thread that calls run() (start, stop, parent checks), the control reader,
// the serial sample worker (the only writer of standard output), the watch
// that wakes the first one every second on the platform's clock, and the
// capture thread. The first end decided anywhere is the one run() returns;
// the caller then ends the process. No memory or no thread for any of them is
// an end like the others, never a crash.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/outcome.h"
#include "common/process.h"
#include "recording-screen/capture.h"
#include "recording-screen/capture_thread.h"
#include "recording-screen/frames.h"
#include "recording-screen/launch.h"

namespace quorvane::recording {

inline constexpr double kParentWatchSeconds = 1.0;
// How long a stop waits for a record being written, a little at a time.
inline constexpr double kStopWaitSeconds = 2.0;
inline constexpr double kStopWaitStep = 0.01;

// What the main thread waits for: the end of the process, a stop request or
// the time to look at the parent.
class Mailbox {
 public:
  enum class Kind { watch, stop, end };
  struct Event {
    Kind kind = Kind::watch;
    Exit exit;
  };
  // The first end posted wins; later ones are ignored.
  void postEnd(Exit exit);
  void postStop();
  void postWatch();
  bool ended() const;
  // The end as soon as there is one, else a pending stop, else a watch.
  Event wait();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Exit> end_;
  bool stop_ = false;
  bool watch_ = false;
};

// The serial sample queue: frames wait here for the one worker that handles
// them. It holds at most `depth` frames; when full it drops an idle frame
// before a complete one, so new content is never lost to a backlog of nothing.
class SampleQueue {
 public:
  SampleQueue(std::size_t depth, std::function<void(const Sample&)> handler);
  ~SampleQueue();
  SampleQueue(const SampleQueue&) = delete;
  SampleQueue& operator=(const SampleQueue&) = delete;

  void push(Sample sample);
  // Whether the worker is handling a frame now.
  bool busy();

 private:
  void dropOne();
  void work();

  std::size_t depth_;
  std::function<void(const Sample&)> handler_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Sample> samples_;
  bool closing_ = false;
  bool handling_ = false;
  std::thread worker_;
};

// Which shareable applications to leave out: the parent and this process, in
// the service's order.
std::vector<std::int32_t> excludedApplications(const std::vector<std::int32_t>& applicationPids,
                                               std::int32_t parentPid, std::int32_t ownPid);

class Streamer final : private StreamSink {
 public:
  explicit Streamer(Platform platform) : platform_(platform) {}
  ~Streamer() override;
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  // Runs until the process is to end, and says how.
  Exit run(const std::vector<std::string>& args);

 private:
  Outcome startCapture(const LaunchParameters& launch);
  Exit mainLoop();
  Exit stopCapture();
  void readControl();
  void watchParent();
  void handleSample(const Sample& sample);

  // StreamSink, called by the capture thread.
  void deliver(Sample sample) override;
  void ended(const StreamEnd& end) override;

  Platform platform_;
  std::optional<ParentWatch> parent_;
  Mailbox mailbox_;
  std::optional<Frames> frames_;
  std::unique_ptr<SampleQueue> queue_;
  std::unique_ptr<CaptureThread> capture_;
  std::thread reader_;
  std::atomic<bool> readerDone_{false};
  std::thread watch_;
  // The watch thread parks here once the stream has ended, until tear-down:
  // a thread that finished unjoined when the process ends is a leak, and
  // joining it at the end could wait out its pacing.
  std::mutex parkLock_;
  std::condition_variable parked_;
  bool tornDown_ = false;
};

}  // namespace quorvane::recording
