// The harness itself: a private server comes up with its window manager, the
// fake application answers, and stopping the session takes the server down.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

TEST(HarnessTest, FakeApplicationOpensWindowsAndRunsAHelper) {
  XSession session;
  FakeApp app(session);
  auto id = app.openWindow("w=120 h=90 title=hello");
  ASSERT_TRUE(id);
  EXPECT_GT(*id, 0u);

  // A helper started by the fake application has it as its parent.
  int helperPid = app.run({"sh", "-c", "echo $PPID"});
  ASSERT_GT(helperPid, 0);
  EXPECT_EQ(app.stdoutLine(), std::to_string(app.pid()));
  EXPECT_EQ(app.waitHelper(), 0);
}

TEST(HarnessTest, SessionEndTakesTheServerAndWindowManagerDown) {
  pid_t server, wm;
  {
    XSession session;
    server = session.serverPid();
    wm = session.windowManagerPid();
    EXPECT_EQ(run({"xdpyinfo", "-display", session.display()}).status, 0);
  }
  // Not the display number: another test's server may take it over at once.
  for (pid_t pid : {server, wm}) {
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
  }
}

}  // namespace
}  // namespace quorvane::test
