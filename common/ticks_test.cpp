#include "common/ticks.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

constexpr double kInterval = 1.0 / 30.0;

TEST(TickScheduleTest, FiresEveryIntervalNeverWakesEarlyAndCollapsesMissedFirings) {
  TickSchedule ticks(0, kInterval);
  EXPECT_TRUE(ticks.due(0));
  ticks.fired(0.001);
  EXPECT_EQ(ticks.millisUntilDue(0.0333), 1);  // not due yet, and rounded up so that the loop never spins
  EXPECT_TRUE(ticks.due(kInterval));
  ticks.fired(0.51);  // the loop was stuck: one firing for all it missed, the next on the old beat
  EXPECT_EQ(ticks.millisUntilDue(0.51), 24);
}

TEST(TickScheduleTest, AFiringAheadOfTimePutsTheNextOneAtMostAnIntervalAway) {
  TickSchedule ticks(0, 0.1);
  ticks.fired(0);
  ticks.fired(0.05);  // asked for early: the beat moves to it
  EXPECT_DOUBLE_EQ(ticks.next(), 0.15);
}

}  // namespace
}  // namespace quorvane
