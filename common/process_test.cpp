#include "common/fake_process.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(ParentWatchTest, GoneOnceTheParentChangesOrDies) {
  const struct { const char* what; std::int32_t parentLater; bool diesLater, gone; } cases[] = {
      {"same parent, alive", 4242, false, false}, {"adopted by init", 1, false, true},
      {"adopted by a subreaper", 777, false, true}, {"parent died, not yet reaped", 4242, true, true}};
  for (const auto& c : cases) {
    FakeProcess process;
    ParentWatch watch(process);
    EXPECT_EQ(watch.gone(), false) << c.what;
    process.parent = c.parentLater;
    if (c.diesLater) process.dead.insert(4242);
    EXPECT_EQ(std::pair(watch.gone(), watch.parent()), std::pair(c.gone, 4242)) << c.what;
  }
}

// The watch is made once the program gets to it: an adopter seen by then is not the parent.
TEST(ParentWatchTest, AParentGoneBeforeTheWatchIsMadeIsGone) {
  FakeProcess process;
  process.parent = 777;
  ParentWatch watch(process);
  EXPECT_EQ(std::pair(watch.gone(), watch.parent()), std::pair(true, 4242));
}

}  // namespace
}  // namespace quorvane
