#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/x11/connection.h"
#include "common/x11/shm.h"
#include "tests/support/xsession.h"

namespace quorvane::test {
namespace {

const XSessionOptions kNoWindowManager{1280, 800, false, {}};

// Whether a segment made in this process is shared with the server; the
// caller's first bytes must come through the check unchanged.
bool sharedAndIntact(const std::string& display) {
  auto c = x11::Connection::open(display.c_str());
  if (!c) return false;
  auto segment = x11::ShmSegment::create(*c, 4096);
  if (!segment) return false;
  std::memset(segment->data(), 0xab, 16);
  return segment->attached() && std::count(segment->data(), segment->data() + 16, 0xab) == 16;
}

TEST(ShmSegmentTest, SharedWithALocalServer) {
  EXPECT_TRUE(sharedAndIntact(sharedXSession(kNoWindowManager).display()));
}

// A server in another IPC namespace reads our segment's number as one of its
// own. Here the number is made to match a live segment of the server's
// namespace, so attaching succeeds on the wrong memory.
TEST(ShmSegmentTest, RefusedWhenTheServerSeesOtherMemoryUnderTheSameNumber) {
  const std::string display = sharedXSession(kNoWindowManager).display();
  int decoy = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  ASSERT_GE(decoy, 0);
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWIPC) != 0) _exit(77);
    std::ofstream("/proc/sys/kernel/shm_next_id") << decoy;
    _exit(sharedAndIntact(display) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  shmctl(decoy, IPC_RMID, nullptr);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no permission for a new IPC namespace";
  EXPECT_EQ(std::pair(WIFEXITED(status) != 0, WEXITSTATUS(status)), std::pair(true, 0)) << status;
}

}  // namespace
}  // namespace quorvane::test
