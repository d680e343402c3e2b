#include "recording-screen/streamer.h"

#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
using namespace std::chrono_literals;
using W = fake::World;
using Act = std::function<void(W&)>;

// A streamer running on its own thread, from the start of its capture on.
struct Running {
  explicit Running(W& world, std::vector<std::string> args = {"7", "60", "hidden"})
      : w(world), streamer(w.platform()), exit(std::async(std::launch::async, [this, args] {
          return streamer.run(args);
        })) {
    w.await([this] { return w.configuration.has_value(); });
  }
  ~Running() {
    w.locked([this] { w.closed = w.released = true, w.held = false; });  // lets every thread go
    if (exit.valid()) exit.wait();
  }
  W& w;
  Streamer streamer;
  std::future<Exit> exit;
};

static Act ends(StreamEnd end) {
  return [=](W& w) { w.locked([&] { w.streamEnd = end; }); };
}
static Act send(std::string lines, bool close = false) {
  return [=](W& w) { w.locked([&] { w.input.push_back(lines), w.closed = close; }); };
}
const std::string captureFailed = texts::kCaptureFailed;

TEST(Streamer, FailuresToStartEndBeforeStandardInputIsRead) {
  const std::tuple<std::vector<std::string>, Act, Exit> cases[] = {
      {{"7", "25"}, [](W&) {}, failure(texts::kBadArguments)},
      {{"7", "30"}, [](W& w) { w.allowed = false; }, failure(texts::kNoPermission)},
      {{"7", "30"}, [](W& w) { w.contentError = "no server"; }, failure(captureFailed + "no server")},
      {{"7", "30"}, [](W& w) { w.content.displays[1].id = 8; }, failure(texts::kDisplayGone)},
      {{"7", "30"}, [](W& w) { w.content.applicationPids = {300, 4343}; }, failure(texts::kCannotExclude)},
      {{"7", "30"}, [](W& w) { w.content.displays[1] = Display{7, 4096, 3907}; }, failure(texts::kTooLarge)},
      {{"7", "30"}, [](W& w) { w.startError = "lost"; }, failure(captureFailed + "lost")},
  };
  for (const auto& [args, setup, expected] : cases) {
    SCOPED_TRACE(expected.text);
    W w;
    setup(w);
    EXPECT_EQ(Streamer(w.platform()).run(args), expected);
    EXPECT_EQ(w.asked, args[1] == "30" ? 1 : 0);  // arguments come first
    EXPECT_EQ(w.reads + w.records.size(), 0u);
  }
}

// Every way a running streamer ends, and what it asks of the service on the way.
TEST(Streamer, EachEndHasItsStatusAndText) {
  // Changes the world while the watch sleeps after `checks` checks that found the parent.
  auto watched = [](int checks, Act how) {
    return [=](W& w) {
      for (int i = 1; i <= checks + 1; ++i) {
        w.await([&] { return w.sleeps >= i; });
        w.locked([&] { i > checks ? how(w) : void(), w.time += kParentWatchSeconds; });
      }
    };
  };
  const std::tuple<const char*, Act, Act, Exit> cases[] = {  // before the start, after it, the end
      {"stop", send("frame\r\nstop\n"), {}, quietExit()},
      {"a bad line", send("frame\nFRAME\n"), {}, failure(texts::kBadControlLine)},
      {"end of input with a request pending", send("frame\n", true), {}, quietExit()},
      {"the parent gone before the first check", [](W& w) { w.dead.insert(w.parent); }, {}, quietExit()},
      {"the parent changes", {}, watched(0, [](W& w) { w.parent = 1; }), quietExit()},
      {"the parent stays three checks, then stop", {}, watched(3, [](W& w) { w.input.push_back("stop\n"); }),
       quietExit()},
      {"a stream error", {}, ends({false, "unplugged"}), failure(captureFailed + "unplugged")},
      {"the display changed", {}, ends({true, ""}), failure(texts::kDisplayGone)},
      {"a write error", [](W& w) { w.writeError = "EPIPE"; }, {}, failure(std::string(texts::kWriteFailed) + "EPIPE")},
      {"no memory for a frame", [](W& w) { w.frameOutOfMemory = true; }, {}, failure(texts::kEncodeFailed)},
      {"no memory to capture", [](W& w) { w.captureOutOfMemory = true; }, {}, failure(captureFailed + "out of memory")},
  };
  for (const auto& [name, before, after, expected] : cases) {
    SCOPED_TRACE(name);
    W w;
    if (before) before(w);
    Running r(w);
    if (after) after(w);
    EXPECT_EQ(r.exit.get(), expected);
    // The chosen display, the parent and this process left out in the service's order.
    EXPECT_EQ(std::tie(w.filter->display.id, w.filter->excludedPids), std::tuple(7u, std::vector{4343, 4242, 4343}));
    EXPECT_EQ(std::tie(w.configuration->width, w.configuration->frameRate, w.configuration->showsCursor),
              std::tuple(1280u, 60, false));
  }
}

TEST(Streamer, StopWaitsForTheRecordBeingWrittenButNotForever) {
  for (bool readerReturns : {true, false}) {
    SCOPED_TRACE(readerReturns);
    W w;
    w.held = true;
    Running r(w);
    w.await([&] { return w.writing == 1; });  // the first frame, unasked
    send("stop\n")(w);
    w.await([&] { return w.sleeps >= 2; });  // the parent watch, and the stop's first wait
    EXPECT_EQ(r.exit.wait_for(0s), std::future_status::timeout);
    w.locked([&] { w.held = !readerReturns; });
    if (readerReturns) w.await([&] { return w.records.size() == 1; });
    w.locked([&] { w.released = true; });  // the wait's time runs out at once
    EXPECT_EQ(r.exit.get(), quietExit());
    EXPECT_EQ(w.locked([&] { return w.records.size(); }), readerReturns ? 1u : 0u);
  }
}

TEST(SampleQueue, StaysBoundedAndKeepsCompleteFramesWhileTheWorkerIsBusy) {
  W w;  // for its lock
  int handled = 0, complete = 0, stuck = true;
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
  EXPECT_EQ(std::make_pair(handled, complete), std::make_pair(4, 1));  // the complete one survived a thousand idle
}

}  // namespace quorvane::recording
