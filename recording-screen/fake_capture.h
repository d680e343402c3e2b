// Everything the streamer relies on, faked in one object under one lock, so
// that a test waits for what the streamer's threads do instead of for time.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <utility>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/fake_process.h"
#include "recording-screen/capture.h"

namespace quorvane::recording::fake {

// Two rows of 640 pixels, or pixels that cannot be read.
struct Image final : FrameImage {
  explicit Image(bool readable = true) : readable(readable) {}
  std::optional<PixelView> pixels() override {
    static const std::vector<std::uint8_t> bytes(640 * 2 * 4);
    return readable ? std::optional(PixelView{bytes.data(), 640, 2, 640 * 4, std::nullopt}) : std::nullopt;
  }
  bool readable;
};

inline Sample sample(std::int64_t status = kFrameComplete) { return Sample{true, status, std::make_shared<Image>()}; }

// The process is FakeProcess's: parent 4242, own 4343.
class World final : public CaptureService, public Encoder, public ControlInput, public RecordOutput,
                    public quorvane::Clock, public FakeProcess {
 public:
  Platform platform() { return Platform{*this, *this, *this, *this, *this, *this}; }

  // Runs `what` under the lock; whoever waits looks again once it is done.
  auto locked(auto what) {
    std::lock_guard<std::mutex> guard(mutex_);
    changed_.notify_all();
    return what();
  }
  void await(auto condition) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, condition);
  }

  // Set before the run.
  bool allowed = true;
  ShareableContent content{{Display{3, 640, 480}, Display{7, 1280, 800}}, {4343, 300, 4242, 4343}};
  std::optional<std::string> contentError, startError, writeError;
  std::optional<std::size_t> jpegSize = 16;  // at least 1; none: encoding fails
  std::size_t jpegParts = 1;                  // more: handed out in that many parts, the last the longest
  // Under the lock once the streamer runs.
  std::optional<ContentFilter> filter;
  std::optional<StreamConfiguration> configuration;
  // The window system: what takeChange() answers next (then no change, until
  // set again); a wait that ends at once, telling of a change or an end (which
  // stays); what readPicture() gives.
  std::optional<bool> change = true;
  bool news = false;
  std::optional<StreamEnd> streamEnd;
  Picture picture{PixelView{nullptr, 640, 2, 640 * 4, std::nullopt}, std::nullopt};
  std::vector<int> waits;  // each wait's time-out, in order
  bool captureOutOfMemory = false, frameOutOfMemory = false;  // takeChange() or encodeJpeg() throw bad_alloc
  int asked = 0, wakes = 0, takes = 0, encodes = 0, reads = 0, sleeps = 0, writing = 0;
  std::deque<std::string> input;
  bool closed = false, held = false, released = false;  // held: writes wait; released: sleeps do not
  std::vector<std::string> records;
  double time = 1000.0;

  bool permitted() override { return locked([this] { return ++asked, allowed; }); }
  ContentResult shareableContent() override {
    return {contentError ? std::nullopt : std::optional(content), contentError.value_or("")};
  }
  std::optional<std::string> start(const ContentFilter& f, const StreamConfiguration& c) override {
    if (!startError) locked([&] { filter = f, configuration = c; });
    return startError;
  }
  // Ends at once when woken or told, else once the test moves time past the time-out.
  Waited wait(int timeoutMs) override {
    std::unique_lock<std::mutex> lock(mutex_);
    waits.push_back(timeoutMs);
    const double until = time + timeoutMs / 1000.0;
    changed_.notify_all();
    // A wake before the wait ends it too, as a real backend's wake-up descriptor does.
    changed_.wait(lock, [&] { return wakePending_ || news || streamEnd || time >= until; });
    wakePending_ = false;
    return {std::exchange(news, false), streamEnd};
  }
  std::optional<bool> takeChange() override {
    return locked([this] {
      if (++takes, captureOutOfMemory) throw std::bad_alloc();
      return change ? std::exchange(change, false) : std::nullopt;
    });
  }
  void wake() override { locked([this] { ++wakes, wakePending_ = true; }); }
  Picture readPicture() override { return locked([this] { return picture; }); }
  std::optional<std::string> encodeJpeg(const PixelView& pixels) override {
    return locked([&]() -> std::optional<std::string> {
      if (++encodes, frameOutOfMemory) throw std::bad_alloc();
      if (!jpegSize || pixels.width != 640) return std::nullopt;  // the whole picture, or nothing
      return static_cast<char>('0' + encodes % 10) + std::string(*jpegSize - 1, 'j');
    });
  }
  std::optional<std::vector<std::string_view>> encodeJpegParts(const PixelView& pixels) override {
    if (jpegParts == 1) return Encoder::encodeJpegParts(pixels);
    jpeg_ = encodeJpeg(pixels);
    if (!jpeg_) return std::nullopt;
    std::vector<std::string_view> parts;
    const std::size_t each = jpeg_->size() / jpegParts;
    for (std::size_t i = 0; i < jpegParts; ++i) {
      parts.push_back(std::string_view(*jpeg_).substr(i * each, i + 1 < jpegParts ? each : std::string::npos));
    }
    return parts;
  }
  std::optional<std::string> write(std::span<const std::string_view> parts) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++writing;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !held; });
    changed_.notify_all();
    if (writeError) return writeError;
    records.emplace_back();
    for (auto part : parts) records.back() += part;
    return std::nullopt;
  }
  std::optional<std::string> read() override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return closed || !input.empty(); });
    if (++reads, input.empty()) return std::nullopt;
    std::string chunk = std::move(input.front());
    input.pop_front();
    return chunk;
  }
  void interrupt() override { locked([this] { closed = true; }); }
  double now() override { return locked([this] { return time; }); }
  void sleep(double seconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    const double until = time + seconds;
    ++sleeps;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released || time >= until; });
  }
  std::int32_t parentPid() override { return locked([this] { return parent; }); }
  bool alive(std::int32_t pid) override { return locked([&] { return FakeProcess::alive(pid); }); }

 private:
  std::optional<std::string> jpeg_;  // the parts' file
  std::mutex mutex_;
  bool wakePending_ = false;
  std::condition_variable changed_;
};

}  // namespace quorvane::recording::fake
