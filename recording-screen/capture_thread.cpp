#include "recording-screen/capture_thread.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <system_error>
#include <utility>

#include "common/ticks.h"

namespace quorvane::recording {

namespace {

// The pixels of every sample: whatever the service shows when they are read.
// A stream that cannot go on is told of, whether found before the rows come
// or while they do.
class ServicePicture final : public FrameImage, private RowsArriving {
 public:
  ServicePicture(CaptureService& service, StreamSink& sink) : service_(service), sink_(sink) {}
  std::optional<PixelView> pixels() override {
    auto picture = service_.readPicture();
    if (picture.end) sink_.ended(*picture.end);
    if (picture.pixels && picture.pixels->arriving) {
      arriving_ = std::exchange(picture.pixels->arriving, static_cast<RowsArriving*>(this));
    }
    return picture.pixels;
  }

 private:
  bool await(std::uint32_t bottom) override {
    if (arriving_->await(bottom)) return true;
    if (auto end = arriving_->end()) sink_.ended(*end);
    return false;
  }
  std::optional<bool> arrivedYet(std::uint32_t bottom) override { return arriving_->arrivedYet(bottom); }

  CaptureService& service_;
  StreamSink& sink_;
  RowsArriving* arriving_ = nullptr;  // the service's, for the last pixels read
};

}  // namespace

std::string describeFailure(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure)) return "out of memory";
  if (const auto* system = dynamic_cast<const std::system_error*>(&failure)) return system->code().message();
  return failure.what();
}

CaptureThread::CaptureThread(CaptureService& service, Clock& clock, StreamSink& sink, std::int32_t frameRate)
    : service_(service), clock_(clock), sink_(sink), interval_(1.0 / std::max(frameRate, 1)) {}

CaptureThread::~CaptureThread() { halt(); }

void CaptureThread::start() {
  frame_ = std::make_shared<ServicePicture>(service_, sink_);
  thread_ = std::thread([this] { run(); });
}

void CaptureThread::request() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    requested_ = true;
  }
  service_.wake();
}

void CaptureThread::halt() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    halted_ = true;
  }
  changed_.notify_all();
  service_.wake();
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  const bool finished =
      changed_.wait_for(lock, std::chrono::duration<double>(kHaltSeconds), [this] { return finished_; });
  lock.unlock();
  if (finished) thread_.join();
  else thread_.detach();
}

void CaptureThread::run() {
  try {
    loop();
  } catch (const std::exception& failure) {
    sink_.ended({false, describeFailure(failure)});
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return halted_; });
  finished_ = true;
  changed_.notify_all();
}

// Returns once halted, or once the stream cannot go on.
void CaptureThread::loop() {
  const int intervalMs = static_cast<int>(std::ceil(interval_ * 1000.0));
  TickSchedule ticks(clock_.now(), interval_);
  bool waiting = false;       // a frame asked for was answered by an idle one
  bool changedSince = false;  // the window system told of a change since the last tick
  for (;;) {
    bool requested;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (halted_) return;
      requested = requested_;
    }
    const double now = clock_.now();
    int timeout = ticks.millisUntilDue(now);
    if (ticks.due(now) || requested || (waiting && changedSince)) {
      if (auto changed = service_.takeChange()) {
        if (requested) {
          std::lock_guard<std::mutex> guard(mutex_);
          requested_ = false;
        }
        waiting = !*changed && (requested || waiting);
        changedSince = false;
        ticks.fired(now);
        sink_.deliver(Sample{true, *changed ? kFrameComplete : kFrameIdle, frame_});
        continue;
      }
      timeout = intervalMs;  // nothing captured yet: no tick, and no spinning either
    }
    auto waited = service_.wait(timeout);
    if (waited.end) {
      sink_.ended(*waited.end);
      return;
    }
    changedSince = changedSince || waited.changed;
  }
}

}  // namespace quorvane::recording
