#include "desktop/posix/linux_platform.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <tuple>
#include <unistd.h>

#include "common/fake_process.h"
#include "desktop/fake_mask_platform.h"

namespace quorvane::desktop::posix {
namespace {

using namespace std::string_literals;

TEST(ControlChunkTest, NothingYetIsNoEndOfInput) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  EXPECT_EQ(readControlChunk(fds[0]), std::nullopt);
  ASSERT_EQ(write(fds[1], "stop\n", 5), 5);
  EXPECT_EQ(readControlChunk(fds[0]), "stop\n");
  close(fds[1]);
  EXPECT_EQ(readControlChunk(fds[0]), "");
  close(fds[0]);
}

// The Linux loop around a scripted window system: each wait gives the next news (the last one again once they
// run out), after `meanwhile` has run; time passes as long as the loop asked to wait when nothing is readable.
class ScriptedPlatform final : public LinuxPlatform {
 public:
  ScriptedPlatform(Termination& termination, int controlFd, FakeClock& clock)
      : LinuxPlatform(termination, controlFd), clock_(clock) {}
  std::int32_t desktopIconLevel() override { return 0; }
  std::int32_t normalWindowLevel() override { return 0; }
  std::vector<Screen> screens() override { return {}; }
  std::optional<WallpaperChoice> systemWallpaper(const Screen&) override { return std::nullopt; }
  void prepareCover(const CoverPlan&) override {}
  void showCovers() override {}

  std::vector<WindowNews> news{{}};
  std::function<void(std::size_t wait)> meanwhile = [](std::size_t) {};
  std::vector<int> timeouts;  // to the nearest 10 ms

 private:
  WindowNews waitForWindows(std::span<pollfd> others, int timeoutMs) override {
    meanwhile(timeouts.size());
    timeouts.push_back((timeoutMs + 5) / 10 * 10);  // a tenth of a second has no exact binary value
    if (poll(others.data(), others.size(), 0) <= 0) clock_.time += timeoutMs / 1000.0;
    return news[std::min(timeouts.size(), news.size()) - 1];
  }
  FakeClock& clock_;
};

struct LoopRig {
  Termination termination;
  int control[2] = {-1, -1};
  FakeClock clock;
  FakeProcess process;
  FakeMaskPlatform preparing;  // what the mask is started with
  RecordingOutput out;
  Channel channel{out, [](const std::string&) {}};
  DesktopMask mask{preparing, process, channel, clock};
  std::unique_ptr<ScriptedPlatform> platform;
  LoopRig() {
    EXPECT_EQ(pipe2(control, O_NONBLOCK), 0);
    platform = std::make_unique<ScriptedPlatform>(termination, control[0], clock);
    clock.time = 0;  // where tenths of a second add up without rounding to speak of
    preparing.screenList = {{0, 0, 100, 100}};
    preparing.chosen = FakeWallpaper{Color{0, 0, 0, 1}, {}};
    EXPECT_EQ(mask.start({"quorvane-desktop", "--mask-desktop"}), std::nullopt);
  }
  ~LoopRig() { close(control[0]), close(control[1]); }
  void send(const std::string& b) { EXPECT_EQ(write(control[1], b.data(), b.size()), ssize_t(b.size())); }
};

TEST(LinuxLoopTest, EndsOnWhatComesFirstSigtermThenControlThenTheWindowSystem) {
  using Change = ScreenChange;
  const struct { const char* name; std::vector<WindowNews> news; std::function<void(LoopRig&)> before; Exit exit;
                 std::size_t waits; } cases[] = {
      {"stop", {{}}, [](LoopRig& r) { r.send("stop\n"); }, quietExit(), 1},
      {"end of input", {{}}, [](LoopRig& r) { close(r.control[1]), r.control[1] = -1; }, quietExit(), 1},
      {"another chunk", {{}}, [](LoopRig& r) { r.send("stop"); }, failure(texts::kInvalidControl), 1},
      {"screens", {{}, {Change::kScreens, false}}, [](LoopRig&) {}, failure(texts::kScreensChanged), 2},
      {"workspace", {{Change::kSpace, true}}, [](LoopRig&) {}, failure(texts::kSpaceChanged), 1},
      {"SIGTERM", {{}}, [](LoopRig&) { kill(getpid(), SIGTERM); }, quietExit(), 1},
      {"SIGTERM before stop and a change", {{Change::kScreens, false}},
       [](LoopRig& r) { r.send("stop\n"), kill(getpid(), SIGTERM); }, quietExit(), 1},
      {"stop before a change", {{Change::kScreens, false}}, [](LoopRig& r) { r.send("stop\n"); }, quietExit(), 1},
  };
  for (const auto& c : cases) {
    LoopRig r;
    r.platform->news = c.news;
    c.before(r);
    EXPECT_EQ(r.platform->run(r.mask), c.exit) << c.name;
    EXPECT_EQ(std::tuple(r.platform->timeouts.size(), r.out.text()), std::tuple(c.waits, ""s)) << c.name;
  }
}

TEST(LinuxLoopTest, ReadyFollowsTheCoversOnScreenAndTheLoopWaitsNoLongerThanTheMaskAsks) {
  LoopRig r;
  r.platform->news = {{}, {}, {ScreenChange::kNone, true}};  // the covers are up from the third wait on
  r.platform->meanwhile = [&](std::size_t wait) {
    if (!r.out.text().empty()) r.send("stop\n");
    EXPECT_LE(wait, 6u);
  };
  EXPECT_EQ(r.platform->run(r.mask), quietExit());
  EXPECT_EQ(r.out.text(), "{\"type\":\"ready\"}\n");
  // The watch every 0.1 s; the covers are up at 0.3 s, so the ready is due at 0.45 s, between two watches.
  EXPECT_EQ(r.platform->timeouts, (std::vector<int>{100, 100, 100, 100, 50, 50}));
}

}  // namespace
}  // namespace quorvane::desktop::posix
