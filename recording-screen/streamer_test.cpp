#include "recording-screen/streamer.h"

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

using namespace std::chrono_literals;
using Act = std::function<void(fake::World&)>;

// A streamer running on its own thread, from the start of its capture on.
struct Running {
  explicit Running(fake::World& world, std::vector<std::string> args = {"7", "60", "hidden"})
      : w(world), streamer(w.platform()), exit(std::async(std::launch::async, [this, args] { return streamer.run(args); })) {
    w.await([this] { return w.output != nullptr; });
  }
  ~Running() {
    w.locked([this] { w.closed = w.released = true, w.held = false; });
    if (exit.valid()) exit.wait();
  }
  fake::World& w;
  Streamer streamer;
  std::future<Exit> exit;
};

void deliver(fake::World& w) {
  w.locked([&] { w.output ? w.output->deliver(fake::sample()) : void(); });
}
Act send(std::string lines, bool close = false) {
  return [=](fake::World& w) { w.locked([&] { w.input.push_back(lines), w.closed = close; }); };
}

TEST(Streamer, FailuresToStartEndBeforeStandardInputIsRead) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    Act setup;
    Exit expected;
  };
  const std::string captureFailed = texts::kCaptureFailed;
  const Case cases[] = {
      {"bad arguments", {"7", "25"}, [](fake::World&) {}, failure(texts::kBadArguments)},
      {"no permission", {"7", "30"}, [](fake::World& w) { w.allowed = false; }, failure(texts::kNoPermission)},
      {"content error", {"7", "30"}, [](fake::World& w) { w.contentError = "no server"; },
       failure(captureFailed + "no server")},
      {"display gone", {"7", "30"}, [](fake::World& w) { w.content.displays[1].id = 8; }, failure(texts::kDisplayGone)},
      {"parent not shareable, own process is", {"7", "30"},
       [](fake::World& w) { w.content.applicationPids = {300, 4343}; }, failure(texts::kCannotExclude)},
      {"too large", {"7", "30"}, [](fake::World& w) { w.content.displays[1] = Display{7, 4096, 3907}; },
       failure(texts::kTooLarge)},
      {"start error", {"7", "30"}, [](fake::World& w) { w.startError = "lost"; }, failure(captureFailed + "lost")},
  };
  for (const auto& c : cases) {
    fake::World w;
    c.setup(w);
    EXPECT_EQ(Streamer(w.platform()).run(c.args), c.expected) << c.name;
    EXPECT_EQ(w.asked, c.args[1] == "30" ? 1 : 0) << c.name;  // arguments come first
    EXPECT_EQ(w.reads, 0) << c.name;
    EXPECT_TRUE(w.records.empty()) << c.name;
  }
}

// Every way a running streamer ends, and what it asks of the service on the way.
TEST(Streamer, EachEndHasItsStatusAndText) {
  struct Case {
    const char* name;
    Act before, after;
    Exit expected;
    int stops;
  };
  // Changes the world while the watch sleeps after `checks` checks that found the parent.
  auto watched = [](int checks, Act how) {
    return [=](fake::World& w) {
      for (int i = 1; i <= checks + 1; ++i) {
        w.await([&] { return w.sleeps >= i; });
        w.locked([&] { i > checks ? how(w) : void(), w.time += kParentWatchSeconds; });
      }
    };
  };
  auto toOutput = [](std::function<void(StreamOutput&)> how) { return [=](fake::World& w) { w.locked([&] { how(*w.output); }); }; };
  const std::string captureFailed = texts::kCaptureFailed, stopFailed = texts::kStopFailed;
  const Case cases[] = {
      {"stop", send("frame\r\nstop\n"), {}, quietExit(), 1},
      {"a bad line", send("frame\nFRAME\n"), {}, failure(texts::kBadControlLine), 0},
      {"end of input with a request pending", send("frame\n", true), {}, quietExit(), 0},
      {"a failed stop", [](fake::World& w) { w.stopError = "busy", w.input.push_back("stop\n"); }, {},
       failure(stopFailed + "busy"), 1},
      {"the parent was gone before the first check", [](fake::World& w) { w.dead.insert(w.parent); }, {}, quietExit(), 0},
      {"the parent changes", {}, watched(0, [](fake::World& w) { w.parent = 1; }), quietExit(), 0},
      {"the parent dies", {}, watched(0, [](fake::World& w) { w.dead.insert(w.parent); }), quietExit(), 0},
      {"the parent stays through three checks, then stop", {},
       watched(3, [](fake::World& w) { w.input.push_back("stop\n"); }), quietExit(), 1},
      {"a stream error", {}, toOutput([](StreamOutput& o) { o.stoppedWithError("unplugged"); }),
       failure(captureFailed + "unplugged"), 0},
      {"the display changed", {}, toOutput([](StreamOutput& o) { o.displayGone(); }), failure(texts::kDisplayGone), 0},
      {"a write error", [](fake::World& w) { w.writeError = "Broken pipe"; }, deliver,
       failure(std::string(texts::kWriteFailed) + "Broken pipe"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake::World w;
    if (c.before) c.before(w);
    Running r(w);
    if (c.after) c.after(w);
    EXPECT_EQ(r.exit.get(), c.expected);
    EXPECT_EQ(w.stops, c.stops);
    // The chosen display, the parent and this process left out in the service's order.
    EXPECT_EQ(w.filter->display.id, 7u);
    EXPECT_EQ(w.filter->excludedPids, (std::vector<std::int32_t>{4343, 4242, 4343}));
    EXPECT_EQ(std::tie(w.configuration->width, w.configuration->frameRate, w.configuration->showsCursor),
              std::make_tuple(1280u, 60, false));
  }
}

TEST(Streamer, StopWaitsForTheRecordBeingWrittenButNotForever) {
  for (bool readerReturns : {true, false}) {
    SCOPED_TRACE(readerReturns);
    fake::World w;
    w.held = true;
    Running r(w);
    deliver(w);
    w.await([&] { return w.writing == 1; });
    send("stop\n")(w);
    w.await([&] { return w.stops == 1 && w.sleeps >= 2; });  // the parent watch, and the stop's first wait
    EXPECT_EQ(r.exit.wait_for(0s), std::future_status::timeout);
    w.locked([&] { w.held = !readerReturns; });
    if (readerReturns) w.await([&] { return w.records.size() == 1; });
    w.locked([&] { w.released = true; });  // the wait's time runs out at once
    EXPECT_EQ(r.exit.get(), quietExit());
    EXPECT_EQ(w.locked([&] { return w.records.size(); }), readerReturns ? 1u : 0u);
  }
}

// Requests from the reader race frames from the service's thread: each
// encoded frame is one whole record.
TEST(Streamer, RequestsAndFramesFromOtherThreadsShareTheFlagSafely) {
  fake::World w;
  Running r(w, {"7", "30"});
  std::atomic<bool> done{false};
  std::thread service([&] {
    while (!done) deliver(w);
  });
  for (int i = 0; i < 200; ++i) send("frame\n")(w);
  w.await([&] { return w.nudges == 200; });
  done = true;
  service.join();
  send("", true)(w);
  EXPECT_EQ(r.exit.get(), quietExit());
  w.locked([&] {
    EXPECT_GE(w.records.size(), 1u);
    EXPECT_EQ(static_cast<std::size_t>(w.encodes), w.records.size());
  });
}

TEST(SampleQueue, StaysBoundedAndKeepsCompleteFramesWhileTheWorkerIsBusy) {
  fake::World w;  // for its lock
  int handled = 0, complete = 0;
  bool stuck = true;
  {
    SampleQueue queue(3, [&](const Sample& s) {
      w.locked([&] { ++handled, complete += s.status == kFrameComplete; });
      w.await([&] { return !stuck; });  // the worker is writing to a reader that does not read
    });
    queue.push(fake::sample(kFrameIdle));
    w.await([&] { return handled == 1; });
    queue.push(fake::sample());
    for (int i = 0; i < 1000; ++i) queue.push(fake::sample(kFrameIdle));
    w.locked([&] { stuck = false; });
    w.await([&] { return handled == 4; });  // the stuck one and a full queue of three
  }
  EXPECT_EQ(handled, 4);
  EXPECT_EQ(complete, 1);  // the complete frame survived a thousand idle ones
}

}  // namespace
}  // namespace quorvane::recording
