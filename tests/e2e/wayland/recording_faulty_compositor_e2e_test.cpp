// quorvane-recording-screen against a compositor that misbehaves on purpose
// (tests/support/fake_compositor.h): screencopy events it should not send are
// not believed, and one that stops answering neither hangs the streamer nor
// keeps it from obeying stop, the end of its input and the death of its parent.
#include <csignal>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/fake_compositor.h"
#include "tests/support/frames.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kCover = 0x404040;
const char kHelper[] = "quorvane-recording-screen";

SpawnOptions in(const FakeCompositor& compositor) {
  return SpawnOptions{.env = compositor.env(), .unsetEnv = {"DISPLAY"}};
}

FakeCompositorOptions copies(const char* screencopy) {
  FakeCompositorOptions options;
  options.screencopy = screencopy;
  return options;
}

std::vector<std::string> streamer() {
  return {binary(kHelper), std::to_string(FakeCompositor::kOutputId), "30"};
}

long peakKilobytes(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Each fault alone: the first frame is still the output, the application's
// window (the top-left quarter) painted over, and the stream stops cleanly.
TEST(RecordingFaultyCompositor, HostileScreencopyEventsAreNotBelieved) {
  for (const char* mode : {"early-events", "wide-stride", "shrink", "flood"}) {
    SCOPED_TRACE(mode);
    FakeCompositor compositor(copies(mode));
    Child helper(streamer(), in(compositor));
    auto picture = readPicture(helper);
    ASSERT_TRUE(picture) << helper.readAllStderr(1s);
    EXPECT_EQ(std::tuple(picture->width, picture->height, near(picture->at(500, 400), FakeCompositor::kColour, 12),
                         near(picture->at(100, 100), kCover, 12)),
              std::tuple(640, 480, true, true));
    if (std::string(mode) == "shrink") {
      EXPECT_TRUE(compositor.await("shrink refused"));
    }
    // Rows of 4 MiB, three buffers of them turned upright, would be gigabytes.
    EXPECT_LT(peakKilobytes(helper.pid()), 512 * 1024);
    helper.writeStdin("stop\n");
    EXPECT_EQ(helper.wait(5s), 0);
    EXPECT_EQ(helper.readAllStderr(1s), "");
  }
}

TEST(RecordingFaultyCompositor, ACompositorThatStopsAnsweringEndsTheStream) {
  FakeCompositorOptions silent;
  silent.answerSyncs = 2;  // connected and described, then nothing
  FakeCompositor compositor(silent);
  Child helper(streamer(), in(compositor));
  EXPECT_EQ(helper.wait(15s), 1);
  EXPECT_EQ(helper.readAllStderr(1s), "屏幕录制采集失败：the compositor stopped answering");
}

// A compositor that describes each copy and never makes it is within its
// rights (nothing changed); the streamer waits, and still hears its own ends.
TEST(RecordingFaultyCompositor, WaitingOnASilentCompositorStillObeysStopEndOfInputAndTheParent) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // an orphaned helper comes to us
  for (const char* end : {"stop", "end of input"}) {
    SCOPED_TRACE(end);
    FakeCompositor compositor(copies("describe-only"));
    Child helper(streamer(), in(compositor));
    ASSERT_TRUE(compositor.await("described"));
    if (std::string(end) == "stop") {
      helper.writeStdin("stop\n");
    } else {
      helper.closeStdin();
    }
    EXPECT_EQ(helper.wait(5s), 0);
  }
  FakeCompositor compositor(copies("describe-only"));
  std::vector<std::string> argv{"sh", "-c", "\"$@\"; exit $?", "sh"};
  for (const auto& arg : streamer()) argv.push_back(arg);
  Child parent(argv, in(compositor));
  ASSERT_TRUE(compositor.await("described"));
  const std::string self = std::to_string(parent.pid());
  int pid = 0;
  std::ifstream("/proc/" + self + "/task/" + self + "/children") >> pid;
  ASSERT_GT(pid, 0);
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  parent.kill(SIGKILL);
  ASSERT_EQ(parent.wait(5s), 128 + SIGKILL);
  pollfd p{ended, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(std::tuple(WIFEXITED(status), WEXITSTATUS(status)), std::tuple(true, 0));
  close(ended);
}

}  // namespace
}  // namespace quorvane::test
