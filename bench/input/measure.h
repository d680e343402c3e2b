// What the input benchmarks measure a helper by: its CPU time (cpuSeconds) and percentiles.
#pragma once

#include <algorithm>
#include <vector>

#include "tests/support/process.h"

namespace quorvane::test {

inline double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace quorvane::test
