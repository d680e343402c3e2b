#include "common/posix/process.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace quorvane::posix {

PosixProcess::PosixProcess() : parentAtStart_(static_cast<std::int32_t>(getppid())) {}

std::int32_t PosixProcess::parentPid() { return static_cast<std::int32_t>(getppid()); }

std::int32_t PosixProcess::ownPid() { return static_cast<std::int32_t>(getpid()); }

bool PosixProcess::alive(std::int32_t pid) { return processAlive(pid); }

// EPERM: it exists, it just is not ours to signal.
bool processAlive(std::int32_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace quorvane::posix
