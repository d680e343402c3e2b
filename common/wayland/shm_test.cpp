#include "common/wayland/shm.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::wayland {
namespace {

// The compositor gets the same file: it can neither shrink it under our
// mapping nor change the seals.
TEST(SealedMemory, NobodyCanChangeItsSize) {
  const int fd = sealedMemory(8192);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  errno = 0;
  const int shrunk = ftruncate(fd, 4096), shrinkError = errno;
  errno = 0;
  const int grown = ftruncate(fd, 16384), growError = errno;
  const int unsealed = fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE);
  EXPECT_EQ(std::tuple(st.st_size, shrunk, shrinkError, grown, growError, unsealed),
            std::tuple(off_t{8192}, -1, EPERM, -1, EPERM, -1));
  close(fd);
}

}  // namespace
}  // namespace quorvane::wayland
