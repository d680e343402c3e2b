#include "recording-screen/x11/compositor.h"

#include <gtest/gtest.h>

namespace quorvane::recording::x11 {

// Fails closed: what cannot be shown to belong to someone else is left out.
TEST(HiddenAreas, LeaveOutEveryWindowTheApplicationMightOwn) {
  auto window = [](std::vector<std::int32_t> pids, bool unknown = false, bool viewable = true) {
    return Window{{XCB_NONE, 120, 10, 30, 20, 1, viewable, false, false, 0}, pids, unknown};
  };
  const std::pair<Window, bool> cases[] = {
      {window({7}), false}, {window({42}), true}, {window({}, true), true},  // an owner that cannot be established
      {window({7, 42}), true},                                              // another client's window in theirs
      {window({42}, false, false), false},                                  // unmapped
  };
  const Area monitor{100, 0, 200, 100};
  for (const auto& [w, hidden] : cases) {
    auto areas = hiddenAreas({w}, {42}, monitor);
    ASSERT_EQ(areas.size(), hidden ? 1u : 0u) << testing::PrintToString(w.pids);
    for (const auto& a : areas) EXPECT_EQ(std::tie(a.x, a.y, a.width, a.height), std::make_tuple(20, 10, 32, 22));
  }
  // More than are asked about: the unseen ones could be the application's.
  auto all = hiddenAreas(std::vector<Window>(quorvane::x11::kMaxWindows, window({7})), {42}, monitor);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(std::tie(all[0].x, all[0].y, all[0].width, all[0].height), std::make_tuple(0, 0, 200, 100));
}

}  // namespace quorvane::recording::x11
