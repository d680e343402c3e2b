#include "recording-screen/posix/stdio.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorvane::recording::posix {
namespace {

std::string pattern(std::size_t size, char seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 7 % 251);
  return s;
}

// A descriptor that takes at most `limit` bytes per call and is interrupted
// before every other call, as a pipe is under signals.
std::string taken;
std::size_t limit = 0;
int calls = 0;

ssize_t shortWrites(int, const iovec* parts, int count) {
  if (++calls % 2 == 0) {
    errno = EINTR;
    return -1;
  }
  std::size_t n = 0;
  for (int i = 0; i < count && n < limit; ++i) {
    std::size_t take = std::min(parts[i].iov_len, limit - n);
    taken.append(static_cast<const char*>(parts[i].iov_base), take);
    n += take;
  }
  return static_cast<ssize_t>(n);
}

TEST(WriteAll, ResumesShortAndInterruptedWritesWhereTheyStopped) {
  const std::string body = pattern(10000, 'q');
  const std::string_view parts[] = {"HEAD", body, "", "tail"};
  const std::string expected = "HEAD" + body + "tail";
  for (std::size_t each : {std::size_t{1}, std::size_t{3}, std::size_t{4}, std::size_t{4097}, std::size_t{1} << 20}) {
    taken.clear();
    limit = each;
    calls = 0;
    EXPECT_EQ(writeAll(-1, parts, shortWrites), std::nullopt) << each;
    EXPECT_TRUE(taken == expected) << each << ": " << taken.size() << " bytes";
  }
}

TEST(WriteAll, AClosedReaderIsAnErrorNotSuccess) {
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const std::string_view parts[] = {"head", "body"};
  EXPECT_EQ(writeAll(fds[1], parts), std::string("Broken pipe"));
  close(fds[1]);
  std::signal(SIGPIPE, previous);
}

TEST(StdinInput, ANonBlockingInputWaitsForBytesInsteadOfEnding) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
  StdinInput input(fds[0]);
  auto first = std::async(std::launch::async, [&] { return input.read(); });
  EXPECT_EQ(first.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  ASSERT_EQ(write(fds[1], "frame\n", 6), 6);
  EXPECT_EQ(first.get(), std::string("frame\n"));
  close(fds[1]);
  EXPECT_EQ(input.read(), std::nullopt);
  close(fds[0]);
}

}  // namespace
}  // namespace quorvane::recording::posix
