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

TEST(LanguageMapTest, EveryCodeTranslatesToItsOwnTag) {
  const std::pair<const char*, const char*> expected[] = {
      {"eng", "en-US"}, {"chi_sim", "zh-Hans"}, {"chi_tra", "zh-Hant"}, {"jpn", "ja-JP"},
      {"kor", "ko-KR"}, {"fra", "fr-FR"},       {"deu", "de-DE"},       {"spa", "es-ES"},
      {"por", "pt-BR"}, {"ita", "it-IT"},       {"rus", "ru-RU"},       {"ukr", "uk-UA"},
      {"ara", "ar-SA"}, {"tha", "th-TH"},       {"vie", "vi-VN"}};
  ASSERT_EQ(languageMap().size(), std::size(expected));
  for (auto [code, tag] : expected) {
    EXPECT_EQ(parseLanguageList(code).visionLanguages, Strings{tag}) << code;
  }
}

}  // namespace
}  // namespace quorvane::ocr
