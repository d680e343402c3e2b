// The process around a helper: its own pid and its parent, the application.
// A helper ends quietly once the application is gone.
#pragma once

#include <cstdint>

namespace quorvane {

class Process {
 public:
  virtual ~Process() = default;
  // The parent that started this process, as read when the process started:
  // the application, even if it has gone since.
  virtual std::int32_t parentAtStart() = 0;
  // The parent now.
  virtual std::int32_t parentPid() = 0;
  virtual std::int32_t ownPid() = 0;
  // Whether a process with that pid exists (one we may not signal counts).
  virtual bool alive(std::int32_t pid) = 0;
};

// The application is gone once our parent is no longer the process that
// started us: an orphan is adopted by init or by a subreaper, so "the parent
// is 1" alone would miss it, and a watch that took the parent it saw when it
// was made would take an adopter for the application.
class ParentWatch {
 public:
  explicit ParentWatch(Process& process) : process_(process), parent_(process.parentAtStart()) {}
  std::int32_t parent() const { return parent_; }
  bool gone() { return process_.parentPid() != parent_ || !process_.alive(parent_); }

 private:
  Process& process_;
  std::int32_t parent_;
};

}  // namespace quorvane
