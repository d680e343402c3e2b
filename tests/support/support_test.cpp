// The harness itself: a private server comes up with its window manager, the
// fake application answers, and stopping the session takes the server down.
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>

#include "tests/support/fake_app.h"

namespace quorvane::test {
namespace {

TEST(HarnessTest, FakeApplicationRunsAHelperAndTheSessionEndsWholly) {
  pid_t server, wm;
  {
    XSession session;
    std::tie(server, wm) = std::pair(session.serverPid(), session.windowManagerPid());
    FakeApp app(session);
    EXPECT_GT(app.openWindow("w=120 h=90 title=hello").value_or(0), 0u);
    // A helper started by the fake application has it as its parent.
    EXPECT_GT(app.run({"sh", "-c", "echo $PPID"}), 0);
    EXPECT_EQ(app.stdoutLine(), std::to_string(app.pid()));
    EXPECT_EQ(app.waitHelper(), 0);
  }
  // Not the display number: another test's server may take it over at once.
  for (pid_t pid : {server, wm}) EXPECT_TRUE(kill(pid, 0) == -1 && errno == ESRCH) << pid;
}

}  // namespace
}  // namespace quorvane::test
