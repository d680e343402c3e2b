// In-process stand-ins for the capture service, encoder, standard streams and
// clock, so that unit tests drive every rule without a display or waiting.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/fake_process.h"
#include "recording-screen/capture.h"

namespace quorvane::recording::fake {

class Image final : public FrameImage {
 public:
  explicit Image(std::uint32_t width = 4, std::uint32_t height = 2, bool readable = true)
      : width_(width), height_(height), readable_(readable), bytes_(std::size_t{width} * height * 4, 0x80) {}
  std::optional<PixelView> pixels() override {
    if (!readable_) return std::nullopt;
    return PixelView{bytes_.data(), width_, height_, std::size_t{width_} * 4, std::nullopt};
  }

 private:
  std::uint32_t width_, height_;
  bool readable_;
  std::vector<std::uint8_t> bytes_;
};

inline Sample completeSample() { return Sample{true, kFrameComplete, std::make_shared<Image>()}; }
inline Sample idleSample() { return Sample{true, kFrameIdle, std::make_shared<Image>()}; }

// Encodes each picture as a numbered payload of the chosen size.
class Encoder final : public recording::Encoder {
 public:
  std::optional<std::string> encodeJpeg(const PixelView& pixels) override {
    int n = ++calls;
    lastWidth = pixels.width;
    if (fails) return std::nullopt;
    std::string out(size, 'j');
    if (size >= 2) out[0] = static_cast<char>('0' + n % 10);
    return out;
  }
  std::atomic<int> calls{0};
  std::atomic<std::uint32_t> lastWidth{0};
  std::size_t size = 16;
  bool fails = false;
};

// Standard output; each call is kept as one write of its parts joined.
class Output final : public RecordOutput {
 public:
  std::optional<std::string> write(std::span<const std::string_view> parts) override {
    std::unique_lock<std::mutex> guard(mutex);
    ++entered;
    changed.notify_all();
    changed.wait(guard, [this] { return !held; });
    if (failAfterWrites >= 0 && static_cast<int>(writes.size()) >= failAfterWrites) return std::string("Broken pipe");
    std::string joined;
    for (auto part : parts) joined += part;
    writes.push_back(std::move(joined));
    return std::nullopt;
  }
  std::vector<std::string> written() {
    std::lock_guard<std::mutex> guard(mutex);
    return writes;
  }
  // A reader that does not read: writes wait until let go.
  void hold() {
    std::lock_guard<std::mutex> guard(mutex);
    held = true;
  }
  void letGo() {
    {
      std::lock_guard<std::mutex> guard(mutex);
      held = false;
    }
    changed.notify_all();
  }
  void awaitWriting() {
    std::unique_lock<std::mutex> guard(mutex);
    changed.wait(guard, [this] { return entered > 0; });
  }
  int failAfterWrites = -1;  // -1: never fails

 private:
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> writes;
  bool held = false;
  int entered = 0;
};

// The process, safe to change while the streamer's threads look at it.
class Process final : public FakeProcess {
 public:
  std::int32_t parentPid() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return FakeProcess::parentPid();
  }
  bool alive(std::int32_t pid) override {
    std::lock_guard<std::mutex> guard(mutex_);
    return FakeProcess::alive(pid);
  }
  template <typename F>
  void change(F how) {
    std::lock_guard<std::mutex> guard(mutex_);
    how(static_cast<FakeProcess&>(*this));
  }

 private:
  std::mutex mutex_;
};

// Time that moves only when the test says so; a sleeper waits for it.
class Clock final : public quorvane::Clock {
 public:
  double now() override {
    std::lock_guard<std::mutex> guard(mutex_);
    return time_;
  }
  void sleep(double seconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const double until = time_ + seconds;
    ++sleeps_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_ || time_ >= until; });
  }
  void advance(double seconds) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      time_ += seconds;
    }
    changed_.notify_all();
  }
  // Waits until sleep() has been called `count` times in all.
  void awaitSleeps(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return sleeps_ >= count; });
  }
  // From now on no sleep waits: lets the sleepers go before tear-down.
  void release() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      released_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  double time_ = 1000.0;
  int sleeps_ = 0;
  bool released_ = false;
};

// Standard input fed by the test; read() blocks until bytes or the end come.
class Input final : public ControlInput {
 public:
  void push(std::string bytes) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      chunks_.push_back(std::move(bytes));
    }
    changed_.notify_all();
  }
  void close() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }
  std::optional<std::string> read() override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || !chunks_.empty(); });
    ++reads;
    if (chunks_.empty()) return std::nullopt;
    std::string chunk = std::move(chunks_.front());
    chunks_.pop_front();
    return chunk;
  }
  void interrupt() override { close(); }
  std::atomic<int> reads{0};

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> chunks_;
  bool closed_ = false;
};

// A capture service whose frames the test delivers, from its own thread or not.
class Capture final : public CaptureService {
 public:
  Capture() {
    content.displays.push_back(Display{7, 1280, 800});
    content.applicationPids = {300, 4242, 4343};  // FakeProcess: parent 4242, own 4343
  }
  bool permitted() override {
    ++permissionAsked;
    return allowed;
  }
  ContentResult shareableContent() override {
    if (contentError) return {std::nullopt, *contentError};
    return {content, {}};
  }
  std::optional<std::string> start(const ContentFilter& f, const StreamConfiguration& c, StreamOutput& o) override {
    if (startError) return startError;
    filter = f;
    configuration = c;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      output_ = &o;
    }
    started.store(true);
    return std::nullopt;
  }
  std::optional<std::string> stop() override {
    ++stops;
    return stopError;
  }
  void frameRequested() override { ++nudges; }
  void halt() override {
    std::lock_guard<std::mutex> guard(mutex_);
    output_ = nullptr;
  }
  // Delivers as the service would; false once halted or before start.
  bool deliver(Sample s) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!output_) return false;
    output_->deliver(std::move(s));
    return true;
  }
  bool fail(const std::string& description) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!output_) return false;
    output_->stoppedWithError(description);
    return true;
  }
  bool loseDisplay() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!output_) return false;
    output_->displayGone();
    return true;
  }

  bool allowed = true;
  ShareableContent content;
  std::optional<std::string> contentError, startError, stopError;
  std::optional<ContentFilter> filter;
  std::optional<StreamConfiguration> configuration;
  std::atomic<bool> started{false};
  std::atomic<int> permissionAsked{0}, stops{0}, nudges{0};

 private:
  std::mutex mutex_;
  StreamOutput* output_ = nullptr;
};

}  // namespace quorvane::recording::fake
