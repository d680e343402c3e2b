#include "ocr/reading_order.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

// A line named by its text, with its top edge and left edge.
Observation line(const std::string& name, double top, double left) {
  return Observation{NormalizedBox{left, top - 0.02, 0.1, 0.02}, Candidate{name, 1.0f}};
}

std::vector<std::string> names(const std::vector<Observation>& observations) {
  std::vector<std::string> result;
  for (const auto& o : observations) result.push_back(o.top->text);
  return result;
}

struct OrderCase {
  const char* what;
  std::vector<Observation> given;
  std::vector<std::string> expected;
};

class ReadingOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(ReadingOrderTest, Sorts) {
  auto observations = GetParam().given;
  sortReadingOrder(observations);
  EXPECT_EQ(names(observations), GetParam().expected) << GetParam().what;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadingOrderTest,
    testing::Values(
        OrderCase{"within the band: left first", {line("right", 0.800, 0.6), line("left", 0.795, 0.1)}, {"left", "right"}},
        OrderCase{"outside the band: higher first", {line("low", 0.78, 0.1), line("high", 0.80, 0.6)}, {"high", "low"}},
        OrderCase{"just over the band apart: two rows",
                  {line("low", 0.50, 0.1), line("high", 0.5102, 0.5)}, {"high", "low"}},
        OrderCase{"ties keep recognition order",
                  {line("first", 0.5, 0.2), line("second", 0.5, 0.2), line("third", 0.5, 0.2)},
                  {"first", "second", "third"}},
        OrderCase{"top to bottom, rows left to right",
                  {line("r2c2", 0.5, 0.6), line("r1c2", 0.9, 0.5), line("r2c1", 0.505, 0.1),
                   line("r3", 0.1, 0.0), line("r1c1", 0.895, 0.05)},
                  {"r1c1", "r1c2", "r2c1", "r2c2", "r3"}},
        // a~b and b~c are within the band, a and c are not: a merge sort
        // compares (b,c) then (a, b) and (a, c); the result is defined.
        OrderCase{"non-transitive chain",
                  {line("a", 0.500, 0.9), line("b", 0.508, 0.5), line("c", 0.516, 0.1)},
                  {"c", "b", "a"}},
        OrderCase{"NaN top falls back to left edge",
                  {line("right", 0.5, 0.8), Observation{NormalizedBox{0.1, kNaN, 0.1, 0.1}, Candidate{"nan", 1.0f}}},
                  {"nan", "right"}},
        OrderCase{"empty", {}, {}}));

// With a consistent order (rows far apart) the result must equal a known
// stable sort, whatever the input order and size.
TEST(ReadingOrderProperty, MatchesStableSortWhenRowsAreWellSeparated) {
  std::mt19937 random(7);
  for (int size : {1, 2, 3, 7, 16, 33, 100}) {
    std::vector<Observation> observations;
    for (int i = 0; i < size; ++i) {
      double top = 0.05 * static_cast<double>(random() % 18);
      double left = 0.1 * static_cast<double>(random() % 4);
      observations.push_back(line(std::to_string(i), top, left));
    }
    auto expected = observations;
    std::stable_sort(expected.begin(), expected.end(), [](const Observation& a, const Observation& b) {
      if (a.box.top() != b.box.top()) return a.box.top() > b.box.top();
      return a.box.x < b.box.x;
    });
    sortReadingOrder(observations);
    EXPECT_EQ(names(observations), names(expected)) << size;
  }
}

// Lines drifting down by less than the band each step: every neighbour pair
// is "one row" but the ends are not. The sort must still finish, keep every
// line, and be deterministic.
TEST(ReadingOrderProperty, DriftingChainKeepsEveryLineDeterministically) {
  std::vector<Observation> observations;
  for (int i = 0; i < 200; ++i) observations.push_back(line(std::to_string(i), 0.9 - 0.004 * i, (i * 37 % 100) / 100.0));
  auto once = observations, twice = observations;
  sortReadingOrder(once);
  sortReadingOrder(twice);
  EXPECT_EQ(names(once), names(twice));
  auto sortedNames = names(once);
  std::sort(sortedNames.begin(), sortedNames.end());
  auto originalNames = names(observations);
  std::sort(originalNames.begin(), originalNames.end());
  EXPECT_EQ(sortedNames, originalNames);
}

}  // namespace
}  // namespace quorvane::ocr
