#include "ocr/languages.h"

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

using Strings = std::vector<std::string>;

TEST(LanguageListTest, CutsAtCommasTranslatesKnownCodesAndKeepsOrder) {
  const struct {
    const char* list;
    Strings langIds, tags;
  } cases[] = {
      {"chi_sim,xx,eng", {"chi_sim", "xx", "eng"}, {"zh-Hans", "en-US"}},
      {"eng,eng", {"eng", "eng"}, {"en-US", "en-US"}},
      {"eng, jpn", {"eng", " jpn"}, {"en-US"}},
      {"ENG", {"ENG"}, {}},
      {",,", {}, {}},
      {"", {}, {}},
      {",kor,,vie,", {"kor", "vie"}, {"ko-KR", "vi-VN"}},
      {"jpn\n", {"jpn\n"}, {}},
  };
  for (const auto& c : cases) {
    LanguageRequest request = parseLanguageList(c.list);
    EXPECT_EQ(request.langIds, c.langIds) << c.list;
    EXPECT_EQ(request.visionLanguages, c.tags) << c.list;
  }
}

}  // namespace
}  // namespace quorvane::ocr
