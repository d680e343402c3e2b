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

TEST_F(ChannelFixture, WritesOneCompactSortedLineInTwoWrites) {
  Json m = {{"type", "error"}, {"error", "无效的原生输入来源"}, {"bounds", {{"y", 2}, {"x", 1}}}};
  ASSERT_TRUE(channel.emit(m));
  ASSERT_EQ(out.writes.size(), 2u);
  EXPECT_EQ(out.writes[0], R"({"bounds":{"x":1,"y":2},"error":"无效的原生输入来源","type":"error"})");
  EXPECT_EQ(out.writes[1], "\n");
}

TEST_F(ChannelFixture, EscapesLineBreaksAndQuotesInsideStrings) {
  ASSERT_TRUE(channel.emit(Json{{"message", "a\nb\"c/d\r"}}));
  auto lines = out.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Json::parse(lines[0])["message"], "a\nb\"c/d\r");
}

TEST_F(ChannelFixture, SameMessageSameBytes) {
  Json a = {{"type", "result"}, {"message", "x"}};
  Json b = {{"message", "x"}, {"type", "result"}};
  channel.emit(a);
  channel.emit(b);
  EXPECT_EQ(out.writes[0], out.writes[2]);
  EXPECT_EQ(out.writes[0], R"({"message":"x","type":"result"})");
}

TEST_F(ChannelFixture, RefusesInvalidUtf8WithoutWriting) {
  EXPECT_FALSE(channel.emit(Json{{"name", std::string("ab\xff")}}));
  EXPECT_TRUE(out.writes.empty());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_FALSE(failures[0].empty());
}

TEST_F(ChannelFixture, RefusesNonFiniteNumbersAtAnyDepth) {
  EXPECT_FALSE(channel.emit(Json{{"x", NAN}}));
  EXPECT_FALSE(channel.emit(Json{{"b", {{"w", INFINITY}}}}));
  EXPECT_FALSE(channel.emit(Json::array({Json{{"h", -INFINITY}}})));
  EXPECT_TRUE(out.writes.empty());
  EXPECT_EQ(failures.size(), 3u);
}

TEST(JsonNumberTest, IntegralValuesAreWrittenAsIntegers) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{100.0, "100"}, {-3.0, "-3"}, {0.0, "0"}, {0.5, "0.5"},
               {1e300, "1e+300"}, {-2.25, "-2.25"}, {9007199254740992.0, "9007199254740992"}};
  for (const auto& c : cases) {
    EXPECT_EQ(jsonNumber(c.value).dump(), c.text) << c.value;
  }
}

}  // namespace
}  // namespace quorvane
