#include "recording-screen/streamer.h"

#include <algorithm>
#include <atomic>

#include "recording-screen/control.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {

void Mailbox::postEnd(Exit exit) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (end_) return;
    end_ = std::move(exit);
  }
  changed_.notify_all();
}

void Mailbox::postStop() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

void Mailbox::postWatch() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    watch_ = true;
  }
  changed_.notify_all();
}

bool Mailbox::ended() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return end_.has_value();
}

Mailbox::Event Mailbox::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return end_ || stop_ || watch_; });
  if (end_) return {Kind::end, *end_};
  if (stop_) {
    stop_ = false;
    return {Kind::stop, {}};
  }
  watch_ = false;
  return {Kind::watch, {}};
}

SampleQueue::SampleQueue(std::size_t depth, std::function<void(const Sample&)> handler)
    : depth_(std::max<std::size_t>(depth, 1)), handler_(std::move(handler)), worker_([this] { work(); }) {}

SampleQueue::~SampleQueue() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void SampleQueue::push(Sample sample) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (closing_) return;
    if (samples_.size() >= depth_) dropOne();
    samples_.push_back(std::move(sample));
  }
  changed_.notify_one();
}

bool SampleQueue::busy() {
  std::lock_guard<std::mutex> guard(mutex_);
  return handling_;
}

void SampleQueue::dropOne() {
  auto idle = std::find_if(samples_.begin(), samples_.end(),
                           [](const Sample& s) { return s.status != kFrameComplete; });
  samples_.erase(idle != samples_.end() ? idle : samples_.begin());
}

void SampleQueue::work() {
  for (;;) {
    Sample sample;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || !samples_.empty(); });
      if (closing_) return;
      sample = std::move(samples_.front());
      samples_.pop_front();
      handling_ = true;
    }
    handler_(sample);
    std::lock_guard<std::mutex> guard(mutex_);
    handling_ = false;
  }
}

std::vector<std::int32_t> excludedApplications(const std::vector<std::int32_t>& applicationPids,
                                               std::int32_t parentPid, std::int32_t ownPid) {
  std::vector<std::int32_t> excluded;
  for (auto pid : applicationPids) {
    if (pid == parentPid || pid == ownPid) excluded.push_back(pid);
  }
  return excluded;
}

namespace {

const Display* findDisplay(const std::vector<Display>& displays, std::uint32_t id) {
  for (const auto& d : displays) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

}  // namespace

Streamer::~Streamer() {
  // Tear-down for tests and early returns: the real process ends without it.
  mailbox_.postEnd(quietExit());
  if (capture_) capture_->halt();
  if (reader_.joinable()) {
    platform_.input.interrupt();
    reader_.join();
  }
  {
    std::lock_guard lock(parkLock_);
    tornDown_ = true;
  }
  parked_.notify_all();
  if (watch_.joinable()) watch_.join();
  queue_.reset();
  capture_.reset();
}

Exit Streamer::run(const std::vector<std::string>& args) {
  auto launch = parseLaunch(args);
  if (!launch) return failure(texts::kBadArguments);
  if (!platform_.capture.permitted()) return failure(texts::kNoPermission);
  parent_.emplace(platform_.process);
  try {
    if (auto end = startCapture(*launch)) return *end;
  } catch (const std::exception& problem) {
    return failure(texts::kCaptureFailed + describeFailure(problem));
  }
  Exit exit = mainLoop();
  // A reader that has finished (or is finishing) is joined; one still
  // blocked in a read is left to the process's end.
  if (readerDone_ && reader_.joinable()) reader_.join();
  return exit;
}

Outcome Streamer::startCapture(const LaunchParameters& launch) {
  auto listed = platform_.capture.shareableContent();
  if (!listed.content) return failure(texts::kCaptureFailed + listed.error);
  const Display* display = findDisplay(listed.content->displays, launch.displayId);
  if (!display) return failure(texts::kDisplayGone);
  const std::int32_t parentPid = parent_->parent();
  auto excluded = excludedApplications(listed.content->applicationPids, parentPid, platform_.process.ownPid());
  // Leaving out only our own windows is not enough: the application's must go.
  if (std::find(excluded.begin(), excluded.end(), parentPid) == excluded.end()) return failure(texts::kCannotExclude);
  auto configuration = buildConfiguration(*display, launch);
  if (!configuration) return failure(texts::kTooLarge);

  frames_.emplace(platform_.encoder, platform_.output);
  queue_ = std::make_unique<SampleQueue>(static_cast<std::size_t>(configuration->queueDepth),
                                         [this](const Sample& s) { handleSample(s); });
  ContentFilter filter{*display, std::move(excluded)};
  if (auto error = platform_.capture.start(filter, *configuration)) return failure(texts::kCaptureFailed + *error);
  StreamSink& sink = *this;
  capture_ = std::make_unique<CaptureThread>(platform_.capture, platform_.clock, sink, configuration->frameRate);
  capture_->start();
  // Lines sent before now waited in the pipe; they are read from here on.
  reader_ = std::thread([this] { readControl(); });
  watch_ = std::thread([this] { watchParent(); });
  return std::nullopt;
}

Exit Streamer::mainLoop() {
  for (;;) {
    auto event = mailbox_.wait();
    switch (event.kind) {
      case Mailbox::Kind::end:
        return event.exit;
      case Mailbox::Kind::stop:
        mailbox_.postEnd(stopCapture());
        break;
      case Mailbox::Kind::watch:
        if (parent_->gone()) mailbox_.postEnd(quietExit());
        break;
    }
  }
}

// Only paces the checks: the main thread decides, so a check never races a
// stop. The first check is at once: the parent may have died while we started.
void Streamer::watchParent() {
  try {
    while (!mailbox_.ended()) {
      mailbox_.postWatch();
      platform_.clock.sleep(kParentWatchSeconds);
    }
  } catch (const std::exception& problem) {
    mailbox_.postEnd(failure(texts::kCaptureFailed + describeFailure(problem)));
  }
  std::unique_lock lock(parkLock_);
  parked_.wait(lock, [this] { return tornDown_; });
}

Exit Streamer::stopCapture() {
  capture_->halt();
  // The last record is not cut off; a writer stuck on a reader that does not
  // read is not waited for long.
  for (double waited = 0; waited < kStopWaitSeconds && queue_->busy(); waited += kStopWaitStep) {
    platform_.clock.sleep(kStopWaitStep);
  }
  return quietExit();
}

// The reader ends only by its own decision (end of input, stop, a bad line),
// and says so before the main thread can act on it, so that the main thread
// knows it may join it.
void Streamer::readControl() {
  ControlReader reader;
  auto frame = [this] {
    frames_->request();
    capture_->request();
  };
  ControlReader::End end = ControlReader::End::none;
  std::optional<std::string> problem;
  try {
    while (end == ControlReader::End::none) {
      auto bytes = platform_.input.read();
      end = bytes ? reader.feed(*bytes, frame) : reader.finish(frame);
    }
  } catch (const std::exception& failed) {
    problem = describeFailure(failed);
  }
  readerDone_ = true;
  if (problem) return mailbox_.postEnd(failure(texts::kCaptureFailed + *problem));
  switch (end) {
    case ControlReader::End::stop:
      mailbox_.postStop();
      break;
    case ControlReader::End::endOfInput:
      mailbox_.postEnd(quietExit());
      break;
    case ControlReader::End::invalid:
    case ControlReader::End::none:
      mailbox_.postEnd(failure(texts::kBadControlLine));
      break;
  }
}

void Streamer::handleSample(const Sample& sample) {
  // Once the process is ending nothing more is written.
  if (mailbox_.ended()) return;
  try {
    if (auto end = frames_->handle(sample)) mailbox_.postEnd(*end);
  } catch (const std::exception&) {
    mailbox_.postEnd(failure(texts::kEncodeFailed));  // no memory for the frame
  }
}

void Streamer::deliver(Sample sample) {
  if (!mailbox_.ended()) queue_->push(std::move(sample));
}

void Streamer::ended(const StreamEnd& end) {
  mailbox_.postEnd(end.displayGone ? failure(texts::kDisplayGone) : failure(texts::kCaptureFailed + end.error));
}

}  // namespace quorvane::recording
