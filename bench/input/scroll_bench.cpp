// Auto-scroll latency on a private display: the round trip of one "step"
// line to its `step` reply (median and 99th percentile over 100 steps), and
// the time from start to `ready` minus the fixed 0.4 s settle.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/support/fake_app.h"
#include "tests/support/process.h"
#include "tests/support/xsession.h"

using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  quorvane::test::XSession session;
  quorvane::test::FakeApp target(session);
  auto id = target.openWindow("x=100 y=100 w=600 h=500 log=1 class=Target");
  if (!id) return 1;
  std::vector<double> steps, ready;
  for (int r = 0; r < runs; ++r) {
    quorvane::test::FakeApp app(session);
    auto start = Clock::now();
    app.run({quorvane::test::binary("quorvane-input"), "--scroll", std::to_string(*id), "0", "0", "1", "1"});
    if (app.stdoutLine() != "{\"type\":\"ready\"}") return 2;
    ready.push_back(ms(Clock::now() - start) - 400.0);
    for (int i = 0; i < 100; ++i) {
      auto t = Clock::now();
      app.send("step\n");
      if (app.stdoutLine() != "{\"type\":\"step\"}") return 3;
      steps.push_back(ms(Clock::now() - t));
    }
    app.send("stop\n");
    app.waitHelper();
  }
  printf("runs: %d, steps: %zu\n", runs, steps.size());
  printf("step round trip     median %.3f ms, p99 %.3f ms\n", percentile(steps, 0.5), percentile(steps, 0.99));
  printf("start to ready - 0.4 s  median %.3f ms (max %.3f ms)\n", percentile(ready, 0.5), percentile(ready, 1.0));
  return 0;
}
