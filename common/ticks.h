// The pacing rule of every periodic job (pointer samples, parent watches,
// frame ticks): the first firing at the start, then one every interval.
#pragma once

namespace quorvane {

// Times are a Clock's seconds. Firings missed while the loop was busy
// collapse into one, so a stall never turns into a burst; a firing ahead of
// time (a frame asked for) puts the next one at most an interval away.
class TickSchedule {
 public:
  TickSchedule(double start, double interval) : next_(start), interval_(interval) {}
  bool due(double now) const { return now >= next_; }
  double next() const { return next_; }
  void fired(double now);
  // How long the loop may wait for input before the next firing, rounded up
  // so that it never wakes early and spins.
  int millisUntilDue(double now) const;

 private:
  double next_;
  double interval_;
};

}  // namespace quorvane
