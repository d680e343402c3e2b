#include "input/fd_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvane::input {
namespace {

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
  }
  void write(const std::string& s) { ASSERT_EQ(::write(fds[1], s.data(), s.size()), ssize_t(s.size())); }
  void closeWriter() {
    close(fds[1]);
    fds[1] = -1;
  }
};

TEST(FdCommandsTest, SplitsLinesAndDropsTheirTerminators) {
  Pipe p;
  FdCommands in(p.fds[0]);
  p.write("step\nstep\r\n\nstop\r\r\nlast");
  p.closeWriter();
  std::vector<std::string> got;
  while (auto line = in.readLine()) got.push_back(*line);
  EXPECT_EQ(got, (std::vector<std::string>{"step", "step", "", "stop\r", "last"}));
}

TEST(FdCommandsTest, BufferedLinesAreReadyWithoutWaiting) {
  Pipe p;
  FdCommands in(p.fds[0]);
  p.write("step\nstop\n");
  EXPECT_EQ(in.wait(0).ready, 1);
  EXPECT_EQ(in.readLine(), "step");
  EXPECT_EQ(in.wait(0).ready, 1);
  EXPECT_EQ(in.readLine(), "stop");
  InputWait silent = in.wait(10);
  EXPECT_EQ(silent.ready, 0);
}

TEST(FdCommandsTest, EndOfInputIsReadableAndGivesNothing) {
  Pipe p;
  FdCommands in(p.fds[0]);
  p.closeWriter();
  InputWait w = in.wait(1000);
  EXPECT_EQ(w.ready, 1);
  EXPECT_TRUE(w.readable);
  EXPECT_EQ(in.readLine(), std::nullopt);
}

TEST(FdCommandsTest, OverLongLinesAreCutAndTheRestDropped) {
  Pipe p;
  FdCommands in(p.fds[0]);
  p.write(std::string(FdCommands::kMaxLine + 10, 's') + "\nstep\n");
  auto first = in.readLine();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), FdCommands::kMaxLine);
  EXPECT_EQ(in.readLine(), "step");
}

}  // namespace
}  // namespace quorvane::input
