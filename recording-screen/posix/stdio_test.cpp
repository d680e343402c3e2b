#include "recording-screen/posix/stdio.h"

#include <cstdio>
#include <fcntl.h>
#include <future>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorvane::recording::posix {
TEST(StdinInput, ANonBlockingInputWaitsForBytesInsteadOfEnding) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  StdinInput input(fds[0]);
  auto first = std::async(std::launch::async, [&] { return input.read(); });
  EXPECT_EQ(first.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);  // not taken for the end
  ASSERT_EQ(write(fds[1], "frame\n", 6), 6);
  EXPECT_EQ(first.get(), std::string("frame\n"));
  close(fds[1]);
  EXPECT_EQ(input.read(), std::nullopt);
  close(fds[0]);
}

TEST(WidenPipe, GrowsAPipeButNeverShrinksOneOrTouchesAFile) {
  const auto widened = [](int fd, int bytes) {
    widenPipe(fd, bytes);
    return fcntl(fd, F_GETPIPE_SZ);
  };
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(widened(fds[1], kRecordPipeBytes), kRecordPipeBytes);
  EXPECT_EQ(widened(fds[1], 8192), kRecordPipeBytes);
  close(fds[0]);
  close(fds[1]);
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(widened(fileno(file), kRecordPipeBytes), -1);  // still no pipe
  std::fclose(file);
}

}  // namespace quorvane::recording::posix
