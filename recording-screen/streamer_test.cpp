#include "recording-screen/streamer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

using namespace std::chrono_literals;

// Waits for a condition the streamer's threads make true (or a generous limit).
template <typename F>
bool eventually(F condition) {
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

struct Fakes {
  fake::Capture capture;
  fake::Encoder encoder;
  fake::Input input;
  fake::Output output;
  fake::Process process;
  fake::Clock clock;
  Platform platform() { return Platform{capture, encoder, input, output, process, clock}; }
};

class StreamerTest : public ::testing::Test {
 protected:
  Fakes f;
  std::unique_ptr<Streamer> streamer;
  std::future<Exit> running;

  void start(std::vector<std::string> args = {"7", "30"}) {
    streamer = std::make_unique<Streamer>(f.platform());
    running = std::async(std::launch::async, [this, args] { return streamer->run(args); });
    ASSERT_TRUE(eventually([this] { return f.capture.started.load() || running.wait_for(0s) == std::future_status::ready; }));
  }
  Exit result() {
    EXPECT_EQ(running.wait_for(10s), std::future_status::ready);
    return running.get();
  }
  std::size_t records() { return f.output.written().size(); }
  void TearDown() override {
    f.input.close();
    f.clock.release();
    if (running.valid()) running.wait();
    streamer.reset();
  }
};

// Runs a streamer that is expected to end by itself.
Exit runToEnd(Fakes& f, std::vector<std::string> args = {"7", "30"}) {
  Streamer s(f.platform());
  Exit exit = s.run(args);
  f.clock.release();
  return exit;
}

TEST(StreamerStart, FailuresEndBeforeStandardInputIsRead) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<void(fake::Capture&)> setup;
    Exit expected;
  };
  const Case cases[] = {
      {"bad arguments", {"7", "25"}, [](fake::Capture&) {}, failure(texts::kBadArguments)},
      {"no permission", {"7", "30"}, [](fake::Capture& c) { c.allowed = false; }, failure(texts::kNoPermission)},
      {"content error", {"7", "30"}, [](fake::Capture& c) { c.contentError = "no server"; },
       failure(std::string(texts::kCaptureFailed) + "no server")},
      {"display gone", {"7", "30"}, [](fake::Capture& c) { c.content.displays[0].id = 8; },
       failure(texts::kDisplayGone)},
      {"parent not shareable, own process is", {"7", "30"},
       [](fake::Capture& c) { c.content.applicationPids = {300, 4343}; }, failure(texts::kCannotExclude)},
      {"too large", {"7", "30"}, [](fake::Capture& c) { c.content.displays[0] = Display{7, 4096, 3907}; },
       failure(texts::kTooLarge)},
      {"start error", {"7", "30"}, [](fake::Capture& c) { c.startError = "lost"; },
       failure(std::string(texts::kCaptureFailed) + "lost")},
  };
  for (const auto& c : cases) {
    Fakes f;
    c.setup(f.capture);
    EXPECT_EQ(runToEnd(f, c.args), c.expected) << c.name;
    EXPECT_EQ(f.capture.permissionAsked, c.args[1] == "30" ? 1 : 0) << c.name;  // arguments come first
    EXPECT_EQ(f.input.reads, 0) << c.name;
    EXPECT_TRUE(f.output.written().empty()) << c.name;
  }
}

TEST_F(StreamerTest, FiltersOutTheParentAndItselfOnTheChosenDisplay) {
  f.capture.content.displays.insert(f.capture.content.displays.begin(), Display{3, 640, 480});
  f.capture.content.applicationPids = {4343, 300, 4242, 4343};
  start({"7", "60", "hidden"});
  ASSERT_TRUE(f.capture.filter);
  EXPECT_EQ(f.capture.filter->display.id, 7u);
  EXPECT_EQ(f.capture.filter->excludedPids, (std::vector<std::int32_t>{4343, 4242, 4343}));
  EXPECT_EQ(f.capture.configuration->width, 1280u);
  EXPECT_EQ(f.capture.configuration->frameRate, 60);
  EXPECT_FALSE(f.capture.configuration->showsCursor);
  f.input.close();
  EXPECT_EQ(result(), quietExit());
}

// Every way a running streamer ends, and what it asks of the service on the way.
TEST(StreamerEnds, EachEndHasItsStatusAndText) {
  struct Case {
    const char* name;
    std::function<void(Fakes&)> act;
    Exit expected;
    int stops;
  };
  auto watches = [](Fakes& f, int n) {
    for (int i = 1; i <= n; ++i) {
      f.clock.awaitSleeps(i);
      f.clock.advance(1.0);
    }
    f.clock.awaitSleeps(n + 1);
  };
  const Case cases[] = {
      {"stop", [](Fakes& f) { f.input.push("frame\r\nstop\n"); }, quietExit(), 1},
      {"a bad line", [](Fakes& f) { f.input.push("frame\nFRAME\n"); }, failure(texts::kBadControlLine), 0},
      {"end of input with a request pending", [](Fakes& f) { f.input.push("frame\n"), f.input.close(); }, quietExit(),
       0},
      {"a failed stop", [](Fakes& f) { f.capture.stopError = "busy", f.input.push("stop\n"); },
       failure(std::string(texts::kStopFailed) + "busy"), 1},
      {"the parent changes",
       [](Fakes& f) {
         f.clock.awaitSleeps(1);
         f.process.change([](FakeProcess& p) { p.parent = 1; });
         f.clock.advance(1.0);
       },
       quietExit(), 0},
      {"the parent dies",
       [](Fakes& f) {
         f.clock.awaitSleeps(1);
         f.process.change([](FakeProcess& p) { p.dead.insert(p.parent); });
         f.clock.advance(1.0);
       },
       quietExit(), 0},
      {"the parent stays through three checks, then stop",
       [&](Fakes& f) { watches(f, 3), f.input.push("stop\n"); }, quietExit(), 1},
      {"a stream error", [](Fakes& f) { f.capture.fail("display unplugged"); },
       failure(std::string(texts::kCaptureFailed) + "display unplugged"), 0},
      {"the display changed", [](Fakes& f) { f.capture.loseDisplay(); }, failure(texts::kDisplayGone), 0},
      {"a write error",
       [](Fakes& f) {
         f.output.failAfterWrites = 0;
         f.capture.deliver(fake::completeSample());
       },
       failure(std::string(texts::kWriteFailed) + "Broken pipe"), 0},
  };
  for (const auto& c : cases) {
    Fakes f;
    Streamer s(f.platform());
    auto running = std::async(std::launch::async, [&] { return s.run({"7", "30"}); });
    ASSERT_TRUE(eventually([&] { return f.capture.started.load(); })) << c.name;
    c.act(f);
    ASSERT_EQ(running.wait_for(10s), std::future_status::ready) << c.name;
    EXPECT_EQ(running.get(), c.expected) << c.name;
    EXPECT_EQ(f.capture.stops, c.stops) << c.name;
    f.clock.release();
  }
}

TEST_F(StreamerTest, AParentGoneWhileStartingIsNoticedAtOnce) {
  f.process.change([](FakeProcess& p) { p.dead.insert(p.parent); });
  start();
  EXPECT_EQ(result(), quietExit());  // the clock never moved
}

TEST_F(StreamerTest, StopWaitsForTheRecordBeingWrittenButNotForever) {
  for (bool readerReturns : {true, false}) {
    Fakes g;
    g.output.hold();
    Streamer s(g.platform());
    auto running = std::async(std::launch::async, [&] { return s.run({"7", "30"}); });
    ASSERT_TRUE(eventually([&] { return g.capture.started.load(); }));
    g.capture.deliver(fake::completeSample());
    g.output.awaitWriting();
    g.input.push("stop\n");
    ASSERT_TRUE(eventually([&] { return g.capture.stops == 1; }));
    g.clock.awaitSleeps(2);  // the parent watch, and the stop's first wait
    EXPECT_EQ(running.wait_for(0s), std::future_status::timeout) << readerReturns;
    if (readerReturns) g.output.letGo();
    ASSERT_TRUE(eventually([&] {
      g.clock.advance(kStopWaitStep);
      return running.wait_for(0s) == std::future_status::ready;
    }));
    EXPECT_EQ(running.get(), quietExit());
    EXPECT_EQ(g.output.written().size(), readerReturns ? 1u : 0u);
    g.output.letGo();
    g.clock.release();
  }
}

TEST_F(StreamerTest, CaptureThreadAndReaderRaceWithoutLosingTheFlag) {
  start();
  std::atomic<bool> done{false};
  std::thread service([&] {
    while (!done) f.capture.deliver(fake::completeSample());
  });
  for (int i = 0; i < 200; ++i) f.input.push("frame\n");
  ASSERT_TRUE(eventually([this] { return f.capture.nudges == 200; }));
  done = true;
  service.join();
  // A request made now is answered by the next complete frame.
  std::size_t before = records();
  f.input.push("frame\n");
  ASSERT_TRUE(eventually([this] { return f.capture.nudges == 201; }));
  ASSERT_TRUE(eventually([&] {
    f.capture.deliver(fake::completeSample());
    return records() > before;
  }));
  f.input.close();
  EXPECT_EQ(result(), quietExit());
  EXPECT_EQ(static_cast<std::size_t>(f.encoder.calls.load()), records());
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

}  // namespace
}  // namespace quorvane::recording
