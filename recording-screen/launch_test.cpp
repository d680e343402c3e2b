#include "recording-screen/launch.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

// How numbers are read is common's; here, which forms the command line takes.
TEST(ParseLaunch, AcceptsOnlyTheDocumentedForms) {
  struct Case {
    std::vector<std::string> args;
    std::optional<LaunchParameters> expected;
  };
  const Case cases[] = {
      {{"1", "30"}, LaunchParameters{1, 30, true}},
      {{"4294967295", "60", "hidden"}, LaunchParameters{4294967295u, 60, false}},
      {{"0", "15"}, LaunchParameters{0, 15, true}},
      {{"1", "30", "Hidden"}, std::nullopt},
      {{"1", "30", "hidden", "x"}, std::nullopt},
      {{"1"}, std::nullopt},
      {{"1", "25"}, std::nullopt},
      {{"1", "x"}, std::nullopt},
      {{"-1", "30"}, std::nullopt},
  };
  auto fields = [](const std::optional<LaunchParameters>& p) {
    return p ? std::make_tuple(true, p->displayId, p->frameRate, p->cursorShown) : std::make_tuple(false, 0u, 0, false);
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fields(parseLaunch(c.args)), fields(c.expected)) << testing::PrintToString(c.args);
  }
}

TEST(FrameSize, LimitsEachSideAndTheArea) {
  struct Case {
    std::uint32_t width, height;
    bool allowed;
  };
  const Case cases[] = {
      {4000, 4000, true},  // exactly 16,000,000
      {4096, 3907, false},
      {8192, 1953, true},
      {1953, 8192, true},
      {8193, 100, false},
      {100, 8193, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frameSizeAllowed(c.width, c.height), c.allowed) << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace quorvane::recording
