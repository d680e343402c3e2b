#include "input/posix/fd_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvane::input::posix {
namespace {

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
  }
  void write(const std::string& s) { ASSERT_EQ(::write(fds[1], s.data(), s.size()), ssize_t(s.size())); }
};

TEST(FdCommandsTest, APartLineDoesNotHoldTheCallerPastItsTimeOut) {
  Pipe p;
  FdCommands in(p.fds[0]);
  p.write("step\nste");
  EXPECT_EQ(in.next(1000), "step");
  EXPECT_EQ(in.next(20), std::nullopt);  // the writer keeps its end open and sends nothing more
  p.write("p\r\nlast");
  EXPECT_EQ(in.next(1000), "step");
  close(p.fds[1]);
  p.fds[1] = -1;
  EXPECT_EQ(in.next(1000), "last");
  EXPECT_EQ(in.next(1000), std::nullopt);
}

}  // namespace
}  // namespace quorvane::input::posix
