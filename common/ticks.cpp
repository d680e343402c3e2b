#include "common/ticks.h"

#include <algorithm>
#include <cmath>

namespace quorvane {

void TickSchedule::fired(double now) {
  next_ += interval_;
  if (next_ <= now) next_ += std::floor((now - next_) / interval_ + 1.0) * interval_;
  next_ = std::min(next_, now + interval_);
}

int TickSchedule::millisUntilDue(double now) const {
  if (due(now)) return 0;
  return static_cast<int>(std::ceil((next_ - now) * 1000.0));
}

}  // namespace quorvane
