#include "ocr/tesseract/backend.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

namespace quorvane::ocr {
namespace {

using namespace std::chrono_literals;

void put(int fd, const std::string& bytes) {
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

// An image written in two parts on a non-blocking pipe is read whole: an empty
// pipe is no end of input.
TEST(ReadAllTest, ANonBlockingInputIsReadToItsEndNotToItsFirstPause) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  put(fds[1], "first part,");
  auto reading = std::async(std::launch::async, [&] { return readAll(fds[0], 1 << 20); });
  EXPECT_EQ(reading.wait_for(200ms), std::future_status::timeout);
  put(fds[1], " second part");
  ::close(fds[1]);
  const InputBytes input = reading.get();
  ::close(fds[0]);
  EXPECT_EQ(std::tie(input.bytes, input.overLimit), std::make_tuple(std::string("first part, second part"), false));
}

}  // namespace
}  // namespace quorvane::ocr
