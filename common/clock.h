// Time as the programs see it. Cores take a Clock so that tests can drive
// deadlines and samples without waiting.
#pragma once

namespace quorvane {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic clock; only differences mean anything.
  virtual double now() = 0;
  virtual void sleep(double seconds) = 0;
};

class SystemClock final : public Clock {
 public:
  double now() override;
  void sleep(double seconds) override;
};

// Time moves only when a test says so; sleeping advances it.
class FakeClock final : public Clock {
 public:
  double now() override { return time; }
  void sleep(double seconds) override {
    time += seconds;
    slept += seconds;
  }
  double time = 1000.0;
  double slept = 0.0;
};

}  // namespace quorvane
