#include "recording-screen/launch.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
// How numbers are read is common's; here, which forms the command line takes.
TEST(ParseLaunch, AcceptsOnlyTheDocumentedForms) {
  using Fields = std::tuple<bool, std::uint32_t, std::int32_t, bool>;  // parsed, display, rate, cursor shown
  const std::pair<std::vector<std::string>, Fields> cases[] = {
      {{"1", "30"}, {true, 1, 30, true}}, {{"4294967295", "60", "hidden"}, {true, 4294967295u, 60, false}},
      {{"0", "15"}, {true, 0, 15, true}}, {{"1", "30", "Hidden"}, {}}, {{"1", "30", "hidden", "x"}, {}},
      {{"1"}, {}}, {{"1", "25"}, {}}, {{"1", "x"}, {}}, {{"-1", "30"}, {}},
  };
  for (const auto& [args, expected] : cases) {
    auto p = parseLaunch(args);
    EXPECT_EQ((p ? Fields{true, p->displayId, p->frameRate, p->cursorShown} : Fields{}), expected)
        << testing::PrintToString(args);
  }
}

TEST(FrameSize, LimitsEachSideAndTheArea) {
  const std::tuple<std::uint32_t, std::uint32_t, bool> cases[] = {
      {4000, 4000, true}, {4096, 3907, false}, {8192, 1953, true},
      {1953, 8192, true}, {8193, 100, false},  {100, 8193, false}};
  for (const auto& [width, height, allowed] : cases) {
    EXPECT_EQ(frameSizeAllowed(width, height), allowed) << width << "x" << height;
  }
}

}  // namespace quorvane::recording
