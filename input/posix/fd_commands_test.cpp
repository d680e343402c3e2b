#include "input/posix/fd_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvane::input::posix {
namespace {

TEST(FdCommandsTest, APartLineDoesNotHoldTheCallerPastItsTimeOut) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  auto send = [&](const std::string& s) { ASSERT_EQ(write(fds[1], s.data(), s.size()), ssize_t(s.size())); };
  FdCommands in(fds[0]);
  send("step\nste");
  EXPECT_EQ(in.next(1000), "step");
  EXPECT_EQ(in.next(20), std::nullopt);  // the writer keeps its end open and sends nothing more
  send("p\r\nlast");
  EXPECT_EQ(in.next(1000), "step");
  close(fds[1]);
  EXPECT_EQ(in.next(1000), "last");
  EXPECT_EQ(in.next(1000), std::nullopt);
  close(fds[0]);
}

}  // namespace
}  // namespace quorvane::input::posix
