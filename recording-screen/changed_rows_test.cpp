#include "recording-screen/changed_rows.h"

#include <gtest/gtest.h>

namespace quorvane::recording {

void PrintTo(const RowSpan& s, std::ostream* os) { *os << "[" << s.top << ", " << s.bottom << ")"; }

namespace {

using Spans = std::vector<RowSpan>;

TEST(ChangedRows, NearRowsAreJoinedAndEmptyOnesDropped) {
  EXPECT_EQ(mergeRows({{90, 95}, {20, 25}, {41, 50}, {30, 30}, {25, 40}}), (Spans{{20, 50}, {90, 95}}));
  EXPECT_EQ(mergeRows({{0, 10}, {27, 30}, {28, 29}}), (Spans{{0, 10}, {27, 30}}));  // 17 rows apart stay apart
}

// However many stretches come, what is kept stays within the bound: merged
// first, and where that is not enough, one stretch over all of them.
TEST(ChangedRows, WhatIsKeptStaysBounded) {
  Spans near, far;
  for (std::uint32_t i = 0; i <= kMaxChangedSpans; ++i) keepChanged(near, {i * 16, i * 16 + 1});
  for (std::uint32_t i = 0; i <= kMaxChangedSpans; ++i) keepChanged(far, {i * 100, i * 100 + 1});
  keepChanged(far, {7, 7});
  EXPECT_EQ(near, (Spans{{0, kMaxChangedSpans * 16 + 1}}));
  EXPECT_EQ(far, (Spans{{0, kMaxChangedSpans * 100 + 1}}));
  Spans few;
  for (std::uint32_t i = 0; i < kMaxChangedSpans; ++i) keepChanged(few, {i * 100, i * 100 + 1});
  EXPECT_EQ(few.size(), kMaxChangedSpans);  // kept as they came
}

TEST(ChangedRows, PixelRowsTouchTheirMcuRowsAndMostDecidesTheWholePicture) {
  const std::tuple<Spans, std::vector<bool>, bool> cases[] = {  // of 40 rows: 16 + 16 + a partial 8
      {{}, {false, false, false}, false},
      {{{15, 17}}, {true, true, false}, true},
      {{{16, 32}}, {false, true, false}, false},
      {{{32, 100}}, {false, false, true}, false},
      {{{5, 5}, {50, 60}}, {false, false, false}, false},
      {{{0, 2}, {39, 40}}, {true, false, true}, true},
  };
  for (const auto& [changed, rows, most] : cases) {
    EXPECT_EQ(std::tuple(changedMcuRows(changed, 40), mostlyChanged(changed, 40)), std::tuple(rows, most))
        << testing::PrintToString(changed);
  }
}

// Each of 100 rows is read once, and rebuilt only where a hole crosses it.
TEST(ChangedRows, RowRunsRebuildOnlyTheRowsCrossed) {
  const std::pair<Spans, std::vector<RowRun>> cases[] = {
      {{{40, 60}}, {{0, 40, false}, {40, 60, true}, {60, 100, false}}},
      {{{50, 80}, {10, 50}}, {{0, 10, false}, {10, 80, true}, {80, 100, false}}},  // touching, any order
      {{{10, 15}, {50, 55}}, {{0, 10, false}, {10, 15, true}, {15, 50, false}, {50, 55, true}, {55, 100, false}}},
      {{{95, 135}, {20, 20}}, {{0, 95, false}, {95, 100, true}}},  // cut at the end; an empty hole
  };
  for (const auto& [crossed, runs] : cases) EXPECT_EQ(rowRuns(crossed, 100), runs) << crossed.size();
  EXPECT_EQ(runsWithin({{0, 30, false}, {30, 100, true}}, {{90, 95}, {20, 25}, {28, 40}}),
            (std::vector<RowRun>{{20, 25, false}, {28, 30, false}, {30, 40, true}, {90, 95, true}}));
}

}  // namespace
}  // namespace quorvane::recording
