#include "ocr/reading_order.h"

#include <algorithm>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

using Strings = std::vector<std::string>;

// A line named by its text, with its top edge and left edge.
Observation line(const std::string& name, double top, double left) {
  return Observation{NormalizedBox{left, top - 0.02, 0.1, 0.02}, Candidate{name, 1.0f}};
}

Strings sortedNames(std::vector<Observation> observations) {
  sortReadingOrder(observations);
  Strings names;
  for (const auto& o : observations) names.push_back(o.top->text);
  return names;
}

TEST(ReadingOrderTest, RowsTopToBottomEachLeftToRight) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::tuple<const char*, std::vector<Observation>, Strings> cases[] = {
      {"within the band: left first", {line("right", 0.800, 0.6), line("left", 0.795, 0.1)}, {"left", "right"}},
      {"outside the band: higher first", {line("low", 0.78, 0.1), line("high", 0.80, 0.6)}, {"high", "low"}},
      {"just over the band apart", {line("low", 0.50, 0.1), line("high", 0.5102, 0.5)}, {"high", "low"}},
      {"ties keep recognition order", {line("1", 0.5, 0.2), line("2", 0.5, 0.2), line("3", 0.5, 0.2)}, {"1", "2", "3"}},
      {"two rows and a line",
       {line("r2c2", 0.5, 0.6), line("r1c2", 0.9, 0.5), line("r2c1", 0.505, 0.1), line("r3", 0.1, 0.0),
        line("r1c1", 0.895, 0.05)},
       {"r1c1", "r1c2", "r2c1", "r2c2", "r3"}},
      // a~b and b~c are within the band, a and c are not: the merges compare
      // (b, c), then (a, b) and (a, c), and the order is defined.
      {"non-transitive chain", {line("a", 0.500, 0.9), line("b", 0.508, 0.5), line("c", 0.516, 0.1)}, {"c", "b", "a"}},
      {"NaN top: left edge decides",
       {line("right", 0.5, 0.8), Observation{NormalizedBox{0.1, nan, 0.1, 0.1}, Candidate{"nan", 1.0f}}},
       {"nan", "right"}},
      {"empty", {}, {}},
  };
  for (const auto& [what, given, expected] : cases) EXPECT_EQ(sortedNames(given), expected) << what;
}

// Rows far apart order consistently: any input order and size gives what a
// known stable sort gives. A drifting chain (every neighbour pair one row, the
// ends not) keeps every line, which an unstable std::sort need not.
TEST(ReadingOrderTest, AnySizeKeepsEveryLineInAStableOrder) {
  std::mt19937 random(7);
  for (int size : {2, 3, 7, 16, 33, 100}) {
    std::vector<Observation> observations;
    for (int i = 0; i < size; ++i) {
      const double top = 0.05 * (random() % 18);
      observations.push_back(line(std::to_string(i), top, 0.1 * (random() % 4)));
    }
    auto expected = observations;
    std::stable_sort(expected.begin(), expected.end(), [](const Observation& a, const Observation& b) {
      return a.box.top() != b.box.top() ? a.box.top() > b.box.top() : a.box.x < b.box.x;
    });
    Strings names;
    for (const auto& o : expected) names.push_back(o.top->text);
    EXPECT_EQ(sortedNames(observations), names) << size;
  }
  std::vector<Observation> chain;
  for (int i = 0; i < 200; ++i) chain.push_back(line(std::to_string(i), 0.9 - 0.004 * i, (i * 37 % 100) / 100.0));
  Strings names = sortedNames(chain);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()) - names.begin(), 200);
}

}  // namespace
}  // namespace quorvane::ocr
