#include "recording-screen/capture_thread.h"

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"

namespace quorvane::recording {
namespace {

using W = fake::World;
constexpr std::int64_t C = kFrameComplete, I = kFrameIdle;
// Four frames a second: ticks a quarter second apart, exact in binary.
constexpr std::int32_t kRate = 4;

// What the thread hands on, under the world's lock.
struct Sink final : StreamSink {
  explicit Sink(W& world) : w(world) {}
  void deliver(Sample sample) override { w.locked([&] { statuses.push_back(*sample.status), last = sample; }); }
  void ended(const StreamEnd& end) override { w.locked([&] { ends.push_back(end); }); }
  W& w;
  std::vector<std::int64_t> statuses;
  Sample last;
  std::vector<StreamEnd> ends;
};

// Once the thread waits for the n-th time, moves time on by `seconds`.
void after(W& w, std::size_t waits, double seconds) {
  w.await([&] { return w.waits.size() >= waits; });
  w.locked([&] { w.time += seconds; });
}

TEST(CaptureThread, TicksAtTheFrameRateCompleteOnlyWhenTheDisplayChanged) {
  W w;
  Sink sink(w);
  CaptureThread thread(w, w, sink, kRate);
  thread.start();
  w.await([&] { return w.waits.size() == 1; });  // the first tick is at once
  w.locked([&] { w.change = true; });
  after(w, 1, 0.25);
  after(w, 2, 0.25);
  after(w, 3, 1.125);  // a stall: one tick for the four it missed, the next on the old beat
  w.await([&] { return w.waits.size() == 4; });
  EXPECT_EQ(w.locked([&] { return std::tuple(sink.statuses, w.waits); }),
            std::tuple(std::vector<std::int64_t>{C, C, I, I}, std::vector<int>{250, 250, 250, 125}));
}

// A frame asked for comes at once; when it was idle, the next change comes
// as soon as the window system tells of it, not at the next tick.
TEST(CaptureThread, ARequestAnsweredByAnIdleFrameWaitsForTheNextChange) {
  W w;
  Sink sink(w);
  CaptureThread thread(w, w, sink, kRate);
  thread.start();
  w.await([&] { return w.waits.size() == 1; });
  thread.request();
  w.await([&] { return w.waits.size() == 2; });
  w.locked([&] { w.change = true, w.news = true; });
  w.await([&] { return w.waits.size() == 3; });
  w.locked([&] { w.change = true, w.news = true; });  // asked for by nobody: waits for its tick
  w.await([&] { return w.waits.size() == 4; });
  const auto early = w.locked([&] { return sink.statuses; });
  after(w, 4, 0.25);
  w.await([&] { return w.waits.size() == 5; });
  EXPECT_EQ(std::tuple(early, sink.statuses), std::tuple(std::vector<std::int64_t>{C, I, C},
                                                         std::vector<std::int64_t>{C, I, C, C}));
}

// Before the first picture there is no tick, and no spinning: each wait is an
// interval long, and a request waits for the picture.
TEST(CaptureThread, NothingIsDeliveredBeforeTheFirstPicture) {
  W w;
  w.change = std::nullopt;
  Sink sink(w);
  CaptureThread thread(w, w, sink, kRate);
  thread.start();
  w.await([&] { return w.waits.size() == 1; });
  thread.request();
  w.await([&] { return w.waits.size() == 2; });
  const auto before = w.locked([&] { return sink.statuses.size(); });
  w.locked([&] { w.change = true, w.news = true; });
  w.await([&] { return w.waits.size() == 3; });
  EXPECT_EQ(w.locked([&] { return std::tuple(before, sink.statuses, w.waits); }),
            std::tuple(std::size_t{0}, std::vector<std::int64_t>{C}, std::vector<int>{250, 250, 250}));
}

// However the stream ends, the sink is told once. An end found by the thread
// parks it: nothing more is delivered however long it waits to be halted.
TEST(CaptureThread, AnEndIsReportedOnceAndAnEndedThreadWaitsToBeHalted) {
  using Setup = std::function<void(W&)>;
  const std::tuple<const char*, Setup, StreamEnd, std::size_t> cases[] = {  // how, its end, samples
      {"the window system", [](W& w) { w.streamEnd = StreamEnd{true, ""}; }, StreamEnd{true, ""}, 1},
      {"no memory", [](W& w) { w.captureOutOfMemory = true; }, StreamEnd{false, "out of memory"}, 0},
      {"reading the pixels", [](W& w) { w.picture = Picture{std::nullopt, StreamEnd{false, "lost"}}; },
       StreamEnd{false, "lost"}, 2},  // the thread goes on; the streamer stops listening
  };
  for (const auto& [name, setup, end, samples] : cases) {
    SCOPED_TRACE(name);
    W w;
    setup(w);
    Sink sink(w);
    CaptureThread thread(w, w, sink, kRate);
    thread.start();
    if (samples == 2) {
      w.await([&] { return sink.statuses.size() == 1; });
      EXPECT_EQ(w.locked([&] { return sink.last; }).image->pixels().has_value(), false);
    }
    w.await([&] { return !sink.ends.empty(); });
    after(w, w.locked([&] { return w.waits.size(); }), 10.0);
    if (samples == 2) w.await([&] { return sink.statuses.size() == 2; });
    thread.halt();
    EXPECT_EQ(w.locked([&] { return std::tuple(sink.ends, sink.statuses.size()); }),
              std::tuple(std::vector<StreamEnd>{end}, samples));
  }
}

// Rows that stop arriving while a frame is encoded end the stream when the
// service says why, and only then; a look for rows is the service's answer.
TEST(CaptureThread, RowsThatStopArrivingEndTheStreamWhenTheServiceSaysWhy) {
  struct Rows final : RowsArriving {
    Rows(bool in, std::optional<StreamEnd> why) : in(in), why(std::move(why)) {}
    bool await(std::uint32_t) override { return in; }
    std::optional<StreamEnd> end() override { return why; }
    std::optional<bool> arrivedYet(std::uint32_t bottom) override { return in && bottom == 2; }
    bool in;
    std::optional<StreamEnd> why;
  };
  const std::tuple<bool, std::optional<StreamEnd>, std::vector<StreamEnd>> cases[] = {  // in, why, the ends told
      {true, StreamEnd{false, "lost"}, {}},
      {false, std::nullopt, {}},
      {false, StreamEnd{false, "lost"}, {StreamEnd{false, "lost"}}},
  };
  for (const auto& [in, why, ends] : cases) {
    W w;
    Rows rows(in, why);
    w.picture = Picture{PixelView{nullptr, 640, 2, 640 * 4, std::nullopt, &rows}, std::nullopt};
    Sink sink(w);
    CaptureThread thread(w, w, sink, kRate);
    thread.start();
    w.await([&] { return sink.statuses.size() == 1; });
    auto pixels = w.locked([&] { return sink.last; }).image->pixels();
    const auto looked = pixels->arriving->arrivedYet(2);
    const bool arrived = pixels->arriving->await(2);
    thread.halt();
    EXPECT_EQ(w.locked([&] { return std::tuple(looked, arrived, sink.ends); }),
              std::tuple(std::optional<bool>(in), in, ends))
        << in;
  }
}

}  // namespace

void PrintTo(const StreamEnd& e, std::ostream* os) { *os << (e.displayGone ? "display gone" : e.error); }

}  // namespace quorvane::recording
