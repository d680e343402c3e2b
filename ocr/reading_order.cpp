#include "ocr/reading_order.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorvane::ocr {

bool readBefore(const Observation& a, const Observation& b) {
  double difference = a.box.top() - b.box.top();
  // A NaN difference compares false and falls through to the column rule.
  if (std::fabs(difference) > kRowTolerance) return difference > 0;
  return a.box.x < b.box.x;
}

namespace {

// Merges the sorted runs [begin, middle) and [middle, end) of `from` into `to`.
// On a tie the left run wins, which keeps the sort stable.
void mergeRuns(const std::vector<Observation>& from, std::vector<Observation>& to, size_t begin,
               size_t middle, size_t end) {
  size_t left = begin, right = middle, out = begin;
  while (left < middle && right < end) {
    if (readBefore(from[right], from[left])) {
      to[out++] = from[right++];
    } else {
      to[out++] = from[left++];
    }
  }
  while (left < middle) to[out++] = from[left++];
  while (right < end) to[out++] = from[right++];
}

}  // namespace

void sortReadingOrder(std::vector<Observation>& observations) {
  const size_t n = observations.size();
  if (n < 2) return;
  // Bottom-up: runs of width 1, 2, 4... bounded O(n log n) work and no recursion.
  std::vector<Observation> buffer(n);
  std::vector<Observation>* from = &observations;
  std::vector<Observation>* to = &buffer;
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t begin = 0; begin < n; begin += 2 * width) {
      size_t middle = std::min(begin + width, n);
      size_t end = std::min(begin + 2 * width, n);
      mergeRuns(*from, *to, begin, middle, end);
    }
    std::swap(from, to);
  }
  if (from != &observations) observations = std::move(*from);
}

}  // namespace quorvane::ocr
