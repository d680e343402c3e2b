#include "recording-screen/streamer.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "recording-screen/fake_platform.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

using namespace std::chrono_literals;

// Waits, without a fixed sleep, until the condition holds (or a generous limit passes).
template <typename F>
bool eventually(F condition) {
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class StreamerTest : public ::testing::Test {
 protected:
  fake::Capture capture;
  fake::Encoder encoder;
  fake::Input input;
  fake::Process process;
  std::unique_ptr<Streamer> streamer;
  std::future<Exit> running;

  Exit runNow(std::vector<std::string> args = {"7", "30"}) {
    streamer = std::make_unique<Streamer>(Platform{capture, encoder, input, process}, 0.01);
    return streamer->run(args);
  }
  void runInBackground(std::vector<std::string> args = {"7", "30"}, double watch = 0.01) {
    streamer = std::make_unique<Streamer>(Platform{capture, encoder, input, process}, watch);
    running = std::async(std::launch::async, [this, args] { return streamer->run(args); });
    ASSERT_TRUE(eventually([this] { return capture.started.load() || isReady(); }));
  }
  bool isReady() { return running.wait_for(0s) == std::future_status::ready; }
  Exit result() {
    EXPECT_EQ(running.wait_for(10s), std::future_status::ready);
    return running.get();
  }
  std::size_t records() { return process.written().size(); }
  void TearDown() override {
    input.close();
    if (running.valid()) running.wait();
    streamer.reset();
  }
};

TEST_F(StreamerTest, BadArgumentsEndBeforeThePermissionIsAsked) {
  EXPECT_EQ(runNow({"7", "25"}), failure(texts::kBadArguments));
  EXPECT_EQ(capture.permissionAsked, 0);
}

TEST_F(StreamerTest, StartFailuresEndWithTheirTexts) {
  struct Case {
    const char* name;
    std::function<void(fake::Capture&)> setup;
    Exit expected;
  };
  const Case cases[] = {
      {"no permission", [](fake::Capture& c) { c.allowed = false; }, failure(texts::kNoPermission)},
      {"content error", [](fake::Capture& c) { c.contentError = "no server"; },
       failure(std::string(texts::kCaptureFailed) + "no server")},
      {"display gone", [](fake::Capture& c) { c.content.displays[0].id = 8; }, failure(texts::kDisplayGone)},
      {"parent not shareable, own process is", [](fake::Capture& c) { c.content.applicationPids = {300, 600}; },
       failure(texts::kCannotExclude)},
      {"no applications", [](fake::Capture& c) { c.content.applicationPids.clear(); }, failure(texts::kCannotExclude)},
      {"too large", [](fake::Capture& c) { c.content.displays[0].mode = PixelSize{4096, 3907}; },
       failure(texts::kTooLarge)},
      {"start error", [](fake::Capture& c) { c.startError = "lost"; },
       failure(std::string(texts::kCaptureFailed) + "lost")},
  };
  for (const auto& c : cases) {
    fake::Capture cap;
    c.setup(cap);
    fake::Encoder enc;
    fake::Input in;
    fake::Process proc;
    Streamer s(Platform{cap, enc, in, proc}, 0.01);
    EXPECT_EQ(s.run({"7", "30"}), c.expected) << c.name;
    EXPECT_EQ(in.reads, 0) << c.name;  // standard input is never read before the capture runs
    EXPECT_TRUE(proc.written().empty()) << c.name;
  }
}

TEST_F(StreamerTest, FiltersOutTheParentAndItselfOnTheChosenDisplay) {
  capture.content.displays.insert(capture.content.displays.begin(), Display{3, 640, 480, std::nullopt});
  capture.content.applicationPids = {600, 300, 500, 600};
  runInBackground({"7", "60", "hidden"});
  ASSERT_TRUE(capture.filter);
  EXPECT_EQ(capture.filter->display.id, 7u);
  EXPECT_EQ(capture.filter->excludedPids, (std::vector<std::int32_t>{600, 500, 600}));
  EXPECT_EQ(capture.configuration->width, 1280u);
  EXPECT_EQ(capture.configuration->frameRate, 60);
  EXPECT_FALSE(capture.configuration->showsCursor);
  input.close();
  EXPECT_EQ(result(), quietExit());
}

TEST_F(StreamerTest, EndOfInputEndsQuietlyEvenWithARequestPending) {
  runInBackground();
  input.push("frame\n");
  input.close();
  EXPECT_EQ(result(), quietExit());
  EXPECT_EQ(capture.stops, 0);  // no stop is asked of the service
}

TEST_F(StreamerTest, ControlLinesDecideTheEnd) {
  struct Case {
    std::string input;
    bool thenEndOfInput;
    Exit expected;
    int stops;
  };
  const Case cases[] = {
      {"frame\r\nframe\nstop\n", false, quietExit(), 1},
      {"stop", true, quietExit(), 1},  // a last line without a line feed counts
      {"frame\nstop\nbogus\n", true, quietExit(), 1},  // nothing is read after stop
      {"frame \n", false, failure(texts::kBadControlLine), 0},
      {"FRAME\n", false, failure(texts::kBadControlLine), 0},
      {"\n", false, failure(texts::kBadControlLine), 0},
      {"frame\nfram", true, failure(texts::kBadControlLine), 0},
      {std::string(1000, 'f'), false, failure(texts::kBadControlLine), 0},  // refused before its end
  };
  for (const auto& c : cases) {
    fake::Capture cap;
    fake::Encoder enc;
    fake::Input in;
    fake::Process proc;
    Streamer s(Platform{cap, enc, in, proc}, 0.01);
    in.push(c.input);
    if (c.thenEndOfInput) in.close();
    EXPECT_EQ(s.run({"7", "30"}), c.expected) << c.input;
    EXPECT_EQ(cap.stops, c.stops) << c.input;
  }
}

TEST_F(StreamerTest, AFailedStopEndsWithTheStopText) {
  capture.stopError = "busy";
  input.push("stop\n");
  EXPECT_EQ(runNow(), failure(std::string(texts::kStopFailed) + "busy"));
}

TEST_F(StreamerTest, EndsQuietlyWhenTheParentChanges) {
  runInBackground();
  process.parent = 1;
  EXPECT_EQ(result(), quietExit());
}

TEST_F(StreamerTest, KeepsRunningWhileTheParentStays) {
  runInBackground();
  // Many watch intervals pass without an end.
  EXPECT_EQ(running.wait_for(200ms), std::future_status::timeout);
  input.close();
  EXPECT_EQ(result(), quietExit());
}

TEST_F(StreamerTest, AStreamErrorEndsWithTheCaptureText) {
  runInBackground();
  ASSERT_TRUE(capture.fail("display unplugged"));
  EXPECT_EQ(result(), failure(std::string(texts::kCaptureFailed) + "display unplugged"));
}

TEST_F(StreamerTest, FirstFrameUnaskedThenOneRecordPerBurstOfRequests) {
  runInBackground();
  ASSERT_TRUE(capture.deliver(fake::completeSample()));
  ASSERT_TRUE(eventually([this] { return records() == 1; }));

  input.push("frame\nframe\nframe\n");
  ASSERT_TRUE(eventually([this] { return capture.nudges == 3; }));
  capture.deliver(fake::idleSample());
  capture.deliver(fake::completeSample());
  ASSERT_TRUE(eventually([this] { return records() == 2; }));
  capture.deliver(fake::completeSample());
  capture.deliver(fake::completeSample());
  input.push("stop\n");
  EXPECT_EQ(result(), quietExit());
  EXPECT_EQ(records(), 2u);
  EXPECT_EQ(encoder.calls, 2);
}

TEST_F(StreamerTest, AWriteErrorOnTheWorkerEndsTheProcess) {
  process.failAfterWrites = 0;
  runInBackground();
  capture.deliver(fake::completeSample());
  EXPECT_EQ(result(), failure(std::string(texts::kWriteFailed) + "Broken pipe"));
}

TEST_F(StreamerTest, CaptureThreadAndReaderRaceWithoutLosingTheFlag) {
  runInBackground();
  std::atomic<bool> done{false};
  std::thread service([&] {
    while (!done) capture.deliver(fake::completeSample());
  });
  for (int i = 0; i < 200; ++i) input.push("frame\n");
  ASSERT_TRUE(eventually([this] { return capture.nudges == 200; }));
  done = true;
  service.join();
  // A request made now is answered by the next complete frame.
  std::size_t before = records();
  input.push("frame\n");
  ASSERT_TRUE(eventually([this] { return capture.nudges == 201; }));
  ASSERT_TRUE(eventually([&] {
    capture.deliver(fake::completeSample());
    return records() > before;
  }));
  input.close();
  EXPECT_EQ(result(), quietExit());
  EXPECT_LE(records(), 202u);
  EXPECT_EQ(static_cast<std::size_t>(encoder.calls.load()), records());
}

TEST(SampleQueue, StaysBoundedAndKeepsCompleteFramesWhenTheWorkerIsBusy) {
  std::mutex gate;
  gate.lock();
  std::atomic<int> handled{0}, complete{0};
  std::atomic<bool> first{true};
  {
    SampleQueue queue(3, [&](const Sample& s) {
      if (first.exchange(false)) {
        std::lock_guard<std::mutex> wait(gate);  // the worker is stuck writing
      }
      ++handled;
      if (s.status == kFrameComplete) ++complete;
    });
    queue.push(fake::idleSample());
    ASSERT_TRUE(eventually([&] { return !first.load(); }));
    queue.push(fake::completeSample());
    for (int i = 0; i < 1000; ++i) queue.push(fake::idleSample());
    gate.unlock();
    ASSERT_TRUE(eventually([&] { return handled == 4; }));
  }
  EXPECT_EQ(handled, 4);   // the stuck one and a full queue of three
  EXPECT_EQ(complete, 1);  // the complete frame survived a thousand idle ones
}

TEST(ExcludedApplications, KeepsTheParentAndItselfInTheServiceOrder) {
  EXPECT_EQ(excludedApplications({1, 2, 3, 2}, 2, 3), (std::vector<std::int32_t>{2, 3, 2}));
  EXPECT_TRUE(excludedApplications({1, 4}, 2, 3).empty());
}

}  // namespace
}  // namespace quorvane::recording
