#include "common/text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(TextTest, SanitizeKeepsValidTextAndReplacesBadBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Firefox", "Firefox"},
      {"终端 ✓", "终端 ✓"},
      {"a\xff" "b", "a\xEF\xBF\xBD" "b"},
      {"\xe7\xbb", "\xEF\xBF\xBD\xEF\xBF\xBD"},           // truncated 3-byte sequence
      {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},           // overlong encoding of '/'
      {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // UTF-16 surrogate
      {std::string("a\0b", 3), "ab"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sanitizeUtf8(c.in), c.out);
  }
}

TEST(TextTest, FirstGraphemesCountsUserPerceivedCharacters) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one cluster, 18 bytes
  const std::string flag = "\U0001F1E8\U0001F1F3";                             // one cluster
  const std::string accented = "e\u0301";                                      // one cluster
  const struct {
    std::string in;
    size_t limit;
    std::string out;
  } cases[] = {
      {"abc", 2, "ab"},
      {"abc", 3, "abc"},
      {"abc", 10, "abc"},
      {"中文名字", 2, "中文"},
      {family + family + "x", 2, family + family},
      {family + "x", 1, family},
      {flag + flag, 1, flag},
      {accented + accented, 1, accented},
      {"\r\nx", 1, "\r\n"},
      {"abc", 0, ""},
      {"", 5, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(firstGraphemes(c.in, c.limit), c.out) << c.in << " / " << c.limit;
  }
}

TEST(TextTest, CutsLongNamesAt160Characters) {
  std::string name;
  for (int i = 0; i < 170; ++i) name += "名";
  std::string cut = firstGraphemes(name, 160);
  EXPECT_EQ(cut.size(), 160u * 3);
}

}  // namespace
}  // namespace quorvane
