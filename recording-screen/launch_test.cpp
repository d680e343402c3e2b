#include "recording-screen/launch.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

struct ArgsCase {
  std::vector<std::string> args;
  std::optional<LaunchParameters> expected;
};

TEST(ParseLaunch, AcceptsOnlyTheDocumentedForms) {
  const ArgsCase cases[] = {
      {{"1", "30"}, LaunchParameters{1, 30, true}},
      {{"1", "30", "hidden"}, LaunchParameters{1, 30, false}},
      {{"1", "15"}, LaunchParameters{1, 15, true}},
      {{"1", "+30"}, LaunchParameters{1, 30, true}},
      {{"1", "060"}, LaunchParameters{1, 60, true}},
      {{"4294967295", "60"}, LaunchParameters{4294967295u, 60, true}},
      {{"-0", "30"}, LaunchParameters{0, 30, true}},
      {{"+0007", "30"}, LaunchParameters{7, 30, true}},
      {{"1", "30", "Hidden"}, std::nullopt},
      {{"1", "30", "hidden", "x"}, std::nullopt},
      {{"1", "30", "hidden "}, std::nullopt},
      {{"1"}, std::nullopt},
      {{}, std::nullopt},
      {{"1", "25"}, std::nullopt},
      {{"1", "30.0"}, std::nullopt},
      {{"1", " 30"}, std::nullopt},
      {{"1", "0x1e"}, std::nullopt},
      {{"1", ""}, std::nullopt},
      {{"1", "-30"}, std::nullopt},
      {{"1", "4294967326"}, std::nullopt},  // 30 modulo 2^32
      {{"4294967296", "30"}, std::nullopt},
      {{"-1", "30"}, std::nullopt},
      {{"+", "30"}, std::nullopt},
      {{"abc", "30"}, std::nullopt},
      {{"", "30"}, std::nullopt},
      {{"1 ", "30"}, std::nullopt},
  };
  auto fields = [](const std::optional<LaunchParameters>& p) {
    return p ? std::make_tuple(true, p->displayId, p->frameRate, p->cursorShown) : std::make_tuple(false, 0u, 0, false);
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += "[" + a + "]";
    EXPECT_EQ(fields(parseLaunch(c.args)), fields(c.expected)) << shown;
  }
}

TEST(FrameSize, LimitsEachSideAndTheArea) {
  struct Case {
    std::uint32_t width, height;
    bool allowed;
  };
  const Case cases[] = {
      {5120, 2880, true},   // 14,745,600
      {4000, 4000, true},   // exactly 16,000,000
      {4096, 3907, false},  // 16,003,072
      {8193, 100, false},   // the width alone
      {100, 8193, false},   // the height alone
      {8192, 1953, true},   // 15,998,976
      {8192, 1954, false},  // 16,007,168
      {8192, 8192, false},
      {4294967295u, 1, false},  // a product that would wrap in 32 bits
      {0, 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frameSizeAllowed(c.width, c.height), c.allowed) << c.width << "x" << c.height;
  }
}

TEST(BuildConfiguration, TakesTheDisplaySizeAndTheLaunchParameters) {
  auto c = buildConfiguration(Display{9, 2560, 1600}, LaunchParameters{9, 60, false});
  ASSERT_TRUE(c);
  EXPECT_EQ(c->width, 2560u);
  EXPECT_EQ(c->height, 1600u);
  EXPECT_EQ(c->frameRate, 60);
  EXPECT_EQ(c->queueDepth, 3);
  EXPECT_FALSE(c->showsCursor);
  EXPECT_FALSE(buildConfiguration(Display{9, 4096, 3907}, LaunchParameters{9, 15, true}));
}

}  // namespace
}  // namespace quorvane::recording
