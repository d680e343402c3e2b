// Waiting for descriptors with poll.
#pragma once

#include "input/window_system.h"

namespace quorvane::input::posix {

class PollWait final : public DescriptorWait {
 public:
  void wait(const std::vector<int>& descriptors, int timeoutMs) override;
};

}  // namespace quorvane::input::posix
