// The process seen by unit tests: pids are plain values a test changes.
#pragma once

#include <set>

#include "common/process.h"

namespace quorvane {

class FakeProcess : public Process {
 public:
  std::int32_t parentAtStart() override { return startParent; }
  std::int32_t parentPid() override { return parent; }
  std::int32_t ownPid() override { return own; }
  bool alive(std::int32_t pid) override { return pid > 0 && !dead.count(pid); }

  std::int32_t startParent = 4242;
  std::int32_t parent = 4242;
  std::int32_t own = 4343;
  std::set<std::int32_t> dead;
};

}  // namespace quorvane
