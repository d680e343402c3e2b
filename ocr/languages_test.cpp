#include "ocr/languages.h"

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

using Strings = std::vector<std::string>;

struct ListCase {
  const char* list;
  Strings langIds;
  Strings tags;
};

class LanguageListTest : public testing::TestWithParam<ListCase> {};

TEST_P(LanguageListTest, CutsTranslatesAndKeepsOrder) {
  LanguageRequest request = parseLanguageList(GetParam().list);
  EXPECT_EQ(request.langIds, GetParam().langIds);
  EXPECT_EQ(request.visionLanguages, GetParam().tags);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, LanguageListTest,
    testing::Values(ListCase{"eng,xx,chi_sim", {"eng", "xx", "chi_sim"}, {"en-US", "zh-Hans"}},
                    ListCase{"chi_sim,eng", {"chi_sim", "eng"}, {"zh-Hans", "en-US"}},
                    ListCase{"eng,eng", {"eng", "eng"}, {"en-US", "en-US"}},
                    ListCase{"eng, jpn", {"eng", " jpn"}, {"en-US"}},
                    ListCase{"ENG", {"ENG"}, {}},
                    ListCase{",,", {}, {}},
                    ListCase{"", {}, {}},
                    ListCase{",kor,,vie,", {"kor", "vie"}, {"ko-KR", "vi-VN"}},
                    ListCase{"jpn\n", {"jpn\n"}, {}}));

}  // namespace
}  // namespace quorvane::ocr
