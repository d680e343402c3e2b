// In-process stand-ins for the capture service, encoder, standard streams and
// process, so that unit tests drive every rule without a display.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "recording-screen/platform.h"

namespace quorvane::recording::fake {

class Image final : public FrameImage {
 public:
  explicit Image(std::uint32_t width = 4, std::uint32_t height = 2, bool readable = true)
      : width_(width), height_(height), readable_(readable), bytes_(std::size_t{width} * height * 4, 0x80) {}
  std::optional<PixelView> pixels() override {
    if (!readable_) return std::nullopt;
    return PixelView{bytes_.data(), width_, height_, std::size_t{width_} * 4};
  }

 private:
  std::uint32_t width_, height_;
  bool readable_;
  std::vector<std::uint8_t> bytes_;
};

inline Sample completeSample() { return Sample{OutputType::screen, true, kFrameComplete, std::make_shared<Image>()}; }
inline Sample idleSample() { return Sample{OutputType::screen, true, kFrameIdle, std::make_shared<Image>()}; }

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

class Process final : public recording::Process {
 public:
  std::int32_t parentPid() override { return parent.load(); }
  std::int32_t ownPid() override { return own; }
  // Each call is kept as one write of its parts joined.
  std::optional<std::string> writeOutput(std::span<const std::string_view> parts) override {
    std::lock_guard<std::mutex> guard(mutex);
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
  std::atomic<std::int32_t> parent{500};
  std::int32_t own = 600;
  int failAfterWrites = -1;  // -1: never fails

 private:
  std::mutex mutex;
  std::vector<std::string> writes;
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
    Display d;
    d.id = 7;
    d.width = 1280;
    d.height = 800;
    content.displays.push_back(d);
    content.applicationPids = {300, 500, 600};
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
