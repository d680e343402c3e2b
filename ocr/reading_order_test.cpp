#include "ocr/reading_order.h"

#include <gtest/gtest.h>
#include <limits>

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
      {"two rows of three and a line",
       {line("r2c2", 0.5, 0.6), line("r1c2", 0.9, 0.5), line("r2c1", 0.505, 0.1), line("r3", 0.1, 0.0),
        line("r1c1", 0.895, 0.05), line("r1c3", 0.9, 0.8), line("r2c3", 0.498, 0.9)},
       {"r1c1", "r1c2", "r1c3", "r2c1", "r2c2", "r2c3", "r3"}},
      // a~b and b~c are within the band, a and c are not: the merges compare
      // (b, c), then (a, b) and (a, c), and the order is defined.
      {"non-transitive chain", {line("a", 0.500, 0.9), line("b", 0.508, 0.5), line("c", 0.516, 0.1)}, {"c", "b", "a"}},
      {"NaN top: left edge decides",
       {line("right", 0.5, 0.8), Observation{NormalizedBox{0.1, nan, 0.1, 0.1}, Candidate{"nan", 1.0f}}},
       {"nan", "right"}},
      {"empty", {}, {}}};
  for (const auto& [what, given, expected] : cases) EXPECT_EQ(sortedNames(given), expected) << what;
}

}  // namespace
}  // namespace quorvane::ocr
