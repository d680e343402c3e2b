#include "common/posix/process.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::posix {
namespace {

// A child whose parent exits after the child has started but before it makes
// its watch, as a parent that dies while a program starts up: the child, made
// ours on its parent's death, reports what its PosixProcess and watch say.
TEST(PosixProcessTest, TheParentIsTheOneThatStartedTheProcessEvenOnceItIsGone) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the orphan comes to us, to be reaped
  int started[2], report[2];
  ASSERT_EQ(pipe(started), 0);
  ASSERT_EQ(pipe(report), 0);
  const pid_t parent = fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    if (fork() == 0) {
      sigset_t death;
      sigemptyset(&death);
      sigaddset(&death, SIGUSR1);
      sigprocmask(SIG_BLOCK, &death, nullptr);
      prctl(PR_SET_PDEATHSIG, SIGUSR1);  // sent once we have been adopted
      PosixProcess process;
      (void)!write(started[1], "s", 1);
      const timespec limit{10, 0};
      sigtimedwait(&death, nullptr, &limit);
      ParentWatch watch(process);
      char line[64];
      const int n = std::snprintf(line, sizeof line, "%d %d %d %d", process.parentAtStart(), watch.parent(),
                                  process.parentPid(), watch.gone());
      (void)!write(report[1], line, static_cast<std::size_t>(n));
      _exit(0);
    }
    char byte;
    (void)!read(started[0], &byte, 1);
    _exit(0);
  }
  close(started[1]);
  close(report[1]);
  int status = 0;
  ASSERT_EQ(waitpid(parent, &status, 0), parent);
  char line[64] = {};
  EXPECT_GT(read(report[0], line, sizeof line - 1), 0);
  while (waitpid(-1, &status, 0) > 0) {
  }
  const std::string parentPid = std::to_string(parent), ours = std::to_string(getpid());
  EXPECT_EQ(std::string(line), parentPid + " " + parentPid + " " + ours + " 1");
  close(started[0]);
  close(report[0]);
}

}  // namespace
}  // namespace quorvane::posix
