#include "recording-screen/posix/stdio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorvane::recording::posix {
namespace {

// What the fake gathered write took, and how it behaves: at most `most` bytes
// a call, interrupted as often as asked first, or failing with `failWith`.
struct Gathered {
  std::string bytes;
  std::size_t most = 0;
  int interruptions = 0, failWith = 0, mostParts = 0;
  std::size_t mostOffered = 0;  // bytes, in one call
};
Gathered gathered;

ssize_t gather(int, const iovec* parts, int count) {
  gathered.mostParts = std::max(gathered.mostParts, count);
  std::size_t offered = 0;
  for (int i = 0; i < count; ++i) offered += parts[i].iov_len;
  gathered.mostOffered = std::max(gathered.mostOffered, offered);
  if (gathered.interruptions > 0) return --gathered.interruptions, errno = EINTR, -1;
  if (gathered.failWith) return errno = gathered.failWith, -1;
  std::size_t taken = 0;
  for (int i = 0; i < count && taken < gathered.most; ++i) {
    const std::size_t n = std::min(parts[i].iov_len, gathered.most - taken);
    gathered.bytes.append(static_cast<const char*>(parts[i].iov_base), n);
    taken += n;
  }
  return static_cast<ssize_t>(taken);
}

}  // namespace

// Short writes resume where they stopped, within a part or at its end; an
// interrupted write is tried again; a failure is told by its text; no call
// is given more parts than the system takes, or more bytes than a piece.
TEST(WriteAll, WritesEveryPartInFullOrSaysWhyNot) {
  const std::vector<std::string_view> parts{"head", "", "0123456789", "x"};
  const std::vector<std::string_view> many(IOV_MAX + 500, "a");
  // A large record: parts that fill a piece exactly, cross its end, and exceed it alone.
  const std::string big(kWriteChunkBytes + 7, 'b'), small(kWriteChunkBytes - 3, 's');
  const std::vector<std::string_view> large{"head", small, "xyz", big, "tail", big};
  struct Case {
    std::vector<std::string_view> parts;
    Gathered fake;
    std::optional<std::string> error;
    std::string written;
  };
  const Case cases[] = {
      {parts, {{}, 100, 0, 0}, std::nullopt, "head0123456789x"},
      {parts, {{}, 3, 0, 0}, std::nullopt, "head0123456789x"},
      {parts, {{}, 4, 2, 0}, std::nullopt, "head0123456789x"},
      {parts, {{}, 1, 0, EPIPE}, "Broken pipe", ""},
      {many, {{}, 1 << 20, 0, 0}, std::nullopt, std::string(IOV_MAX + 500, 'a')},
      {large, {{}, 1 << 22, 0, 0}, std::nullopt, "head" + small + "xyz" + big + "tail" + big},
      {large, {{}, 100'000, 1, 0}, std::nullopt, "head" + small + "xyz" + big + "tail" + big},
  };
  for (const auto& c : cases) {
    gathered = c.fake;
    EXPECT_EQ(std::tuple(writeAll(1, c.parts, gather), gathered.bytes), std::tuple(c.error, c.written)) << c.fake.most;
    EXPECT_LE(gathered.mostParts, IOV_MAX);
    EXPECT_LE(gathered.mostOffered, kWriteChunkBytes);
  }
}

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
