// The process through POSIX calls.
#pragma once

#include "common/process.h"

namespace quorvane::posix {

class PosixProcess final : public Process {
 public:
  std::int32_t parentPid() override;
  std::int32_t ownPid() override;
  bool alive(std::int32_t pid) override;
};

}  // namespace quorvane::posix
