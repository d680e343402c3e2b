#include "common/channel.h"

#include <cmath>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct ChannelFixture : ::testing::Test {
  RecordingOutput out;
  std::vector<std::string> failures;
  Channel channel{out, [this](const std::string& d) { failures.push_back(d); }};
};

TEST_F(ChannelFixture, WritesOneCompactSortedLineInTwoWritesWithBreaksEscaped) {
  ASSERT_TRUE(channel.emit(Json{{"type", "error"}, {"error", "无效\n\"/\r"}, {"bounds", {{"y", 2}, {"x", 1}}}}));
  EXPECT_EQ(out.writes,
            (std::vector<std::string>{R"({"bounds":{"x":1,"y":2},"error":"无效\n\"/\r","type":"error"})", "\n"}));
  ASSERT_TRUE(channel.emit(Json{{"type", "step"}}));  // what the other programs' tests read back
  EXPECT_EQ(out.lines(), (std::vector<std::string>{out.writes[0], R"({"type":"step"})"}));
}

TEST_F(ChannelFixture, RefusesInvalidUtf8AndNonFiniteNumbersAtAnyDepthWithoutWriting) {
  for (const Json& bad : {Json{{"name", std::string("ab\xff")}}, Json{{"x", NAN}}, Json{{"b", {{"w", INFINITY}}}},
                          Json::array({Json{{"h", -INFINITY}}})}) {
    EXPECT_FALSE(channel.emit(bad)) << bad.dump();
  }
  EXPECT_TRUE(out.writes.empty());
  ASSERT_EQ(failures.size(), 4u);
  EXPECT_FALSE(failures[0].empty());
}

TEST_F(ChannelFixture, AnEndIsReportedAsAnErrorMessageWhenItHasATextAndAnUnencodableOneEndsWithStatus1) {
  EXPECT_EQ(std::tuple(reportExit(channel, {0, ""}), reportExit(channel, {3, "停"}), reportExit(channel, {2, "\xff"})),
            std::tuple(0, 3, 1));
  EXPECT_EQ(out.lines(), std::vector<std::string>{R"({"error":"停","type":"error"})"});
}

TEST(JsonNumberTest, IntegralValuesAreWrittenAsIntegers) {
  const struct { double value; const char* text; } cases[] = {
      {100.0, "100"}, {-3.0, "-3"}, {0.0, "0"}, {0.5, "0.5"}, {1e300, "1e+300"}, {-2.25, "-2.25"},
      {9007199254740992.0, "9007199254740992"}};
  for (const auto& c : cases) EXPECT_EQ(jsonNumber(c.value).dump(), c.text) << c.value;
}

}  // namespace
}  // namespace quorvane
