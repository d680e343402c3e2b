#include "recording-screen/x11/compositor.h"

#include <gtest/gtest.h>

namespace quorvane::recording::x11 {

void PrintTo(const RowRun& r, std::ostream* os) { *os << (r.rebuilt ? "rebuilt " : "screen ") << r.top << "-" << r.bottom; }

namespace {

xcb_rectangle_t rect(int x, int y, int w, int h) {
  return {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
          static_cast<std::uint16_t>(h)};
}

TEST(RowRuns, EachRowIsReadOnceAndRebuiltOnlyWhereAHoleCrossesIt) {
  struct Case {
    const char* name;
    std::vector<xcb_rectangle_t> holes;
    std::vector<RowRun> runs;
  };
  const Case cases[] = {
      {"no hole: the screen as it is", {}, {{0, 100, false}}},
      {"one pixel in the corner", {rect(0, 0, 1, 1)}, {{0, 1, true}, {1, 100, false}}},
      {"a hole in the middle", {rect(30, 40, 10, 20)}, {{0, 40, false}, {40, 60, true}, {60, 100, false}}},
      {"a hole down to the last row", {rect(0, 90, 5, 10)}, {{0, 90, false}, {90, 100, true}}},
      {"the whole monitor", {rect(0, 0, 50, 100)}, {{0, 100, true}}},
      {"overlapping rows merge, given in any order",
       {rect(60, 50, 5, 30), rect(0, 10, 5, 50)},
       {{0, 10, false}, {10, 80, true}, {80, 100, false}}},
      {"touching rows merge", {rect(0, 10, 5, 10), rect(9, 20, 5, 10)}, {{0, 10, false}, {10, 30, true}, {30, 100, false}}},
      {"a hole inside another's rows", {rect(0, 10, 5, 60), rect(9, 20, 5, 10)}, {{0, 10, false}, {10, 70, true}, {70, 100, false}}},
      {"separate holes keep the screen between them",
       {rect(0, 10, 5, 5), rect(0, 50, 5, 5)},
       {{0, 10, false}, {10, 15, true}, {15, 50, false}, {50, 55, true}, {55, 100, false}}},
      {"rows past the monitor are cut", {rect(0, 95, 5, 40)}, {{0, 95, false}, {95, 100, true}}},
      {"an empty hole changes nothing", {rect(0, 20, 5, 0)}, {{0, 100, false}}},
  };
  for (const auto& c : cases) EXPECT_EQ(rowRuns(c.holes, 100), c.runs) << c.name;
}

TEST(MergeRows, JoinsOverlappingAndNearRowsInOrder) {
  auto merged = mergeRows({{50, 60}, {0, 10}, {12, 20}, {5, 8}, {40, 40}, {70, 95}}, 16);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(std::tie(merged[0].top, merged[0].bottom, merged[1].top, merged[1].bottom),
            std::make_tuple(0u, 20u, 50u, 95u));
  auto within = runsWithin({{0, 30, false}, {30, 100, true}}, {{20, 40}, {90, 95}});
  EXPECT_EQ(within, (std::vector<RowRun>{{20, 30, false}, {30, 40, true}, {90, 95, true}}));
}

bool operator==(const xcb_rectangle_t& a, const xcb_rectangle_t& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Fails closed: what cannot be shown to belong to someone else is left out.
TEST(HiddenAreas, LeaveOutEveryWindowTheApplicationMightOwn) {
  const Area monitor{100, 0, 200, 100};
  auto window = [](std::vector<std::int32_t> pids, bool unknown = false, bool viewable = true) {
    quorvane::x11::TopLevel t;
    t.x = 120, t.y = 10, t.width = 30, t.height = 20, t.border = 1, t.viewable = viewable;
    return Window{t, std::move(pids), unknown};
  };
  struct Case {
    const char* name;
    Window w;
    bool hidden;
  };
  const Case cases[] = {
      {"another application's", window({7}), false},
      {"the application's", window({42}), true},
      {"an owner that cannot be established", window({}, true), true},
      {"a frame marked as a client, the application's inside", window({7, 42}), true},
      {"unmapped", window({42}, false, false), false},
  };
  for (const auto& c : cases) {
    auto areas = hiddenAreas({c.w}, {42}, monitor);
    EXPECT_EQ(areas.size(), c.hidden ? 1u : 0u) << c.name;
    if (c.hidden) {
      EXPECT_TRUE(areas[0] == rect(20, 10, 32, 22)) << c.name;
    }
  }
  // More windows than are asked about: the unseen ones could be the application's.
  std::vector<Window> many(quorvane::x11::kMaxWindows, window({7}));
  auto all = hiddenAreas(many, {42}, monitor);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_TRUE(all[0] == rect(0, 0, 200, 100));
}

}  // namespace
}  // namespace quorvane::recording::x11
