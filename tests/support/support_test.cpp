// The harness itself: a private server comes up with its window manager, the
// fake application answers, and stopping the session takes the server down.
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

TEST(HarnessTest, SessionEndTakesTheServerDown) {
  std::string display;
  {
    XSessionOptions options;
    options.windowManager = false;
    XSession session(options);
    display = session.display();
    EXPECT_EQ(run({"xdpyinfo", "-display", display}).status, 0);
  }
  EXPECT_NE(run({"xdpyinfo", "-display", display}).status, 0);
}

}  // namespace
}  // namespace quorvane::test
