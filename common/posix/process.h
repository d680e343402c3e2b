// The process through POSIX calls.
#pragma once

#include "common/process.h"

namespace quorvane::posix {

class PosixProcess final : public Process {
 public:
  // Reads the parent: made first thing in main, so that a parent who dies
  // while the program starts is still the parent, not whoever adopts us.
  PosixProcess();
  std::int32_t parentAtStart() override { return parentAtStart_; }
  std::int32_t parentPid() override;
  std::int32_t ownPid() override;
  bool alive(std::int32_t pid) override;

 private:
  std::int32_t parentAtStart_;
};

// Whether a process with that pid exists (one we may not signal counts).
bool processAlive(std::int32_t pid);

}  // namespace quorvane::posix
