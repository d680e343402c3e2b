#include "common/text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(TextTest, SanitizeKeepsValidTextAndReplacesBadBytes) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  const struct { std::string in, out; } cases[] = {
      {"终端 ✓", "终端 ✓"}, {"a\xff" "b", "a" + bad + "b"}, {"\xe7\xbb", bad + bad},  // a cut 3-byte sequence
      {"\xc0\xaf", bad + bad},                                                     // overlong '/'
      {"\xed\xa0\x80", bad + bad + bad},                                           // UTF-16 surrogate
      {std::string("a\0b", 3), "ab"}, {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(sanitizeUtf8(c.in), c.out) << c.in;
}

TEST(TextTest, FirstGraphemesCountsUserPerceivedCharacters) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const std::string flag = "\U0001F1E8\U0001F1F3", accented = "e\u0301";
  const struct { std::string in; size_t limit; std::string out; } cases[] = {
      {"abc", 2, "ab"}, {"abc", 3, "abc"}, {"abc", 10, "abc"}, {"中文名字", 2, "中文"},
      {family + family + "x", 2, family + family},
      {flag + flag, 1, flag}, {accented + accented, 1, accented}, {"\r\nx", 1, "\r\n"}, {"abc", 0, ""}, {"", 5, ""}};
  for (const auto& c : cases) EXPECT_EQ(firstGraphemes(c.in, c.limit), c.out) << c.in << " / " << c.limit;
}

}  // namespace
}  // namespace quorvane
