#include "ocr/languages.h"

namespace quorvane::ocr {

const std::vector<LanguagePair>& languageMap() {
  static const std::vector<LanguagePair> map = {
      {"eng", "en-US"}, {"chi_sim", "zh-Hans"}, {"chi_tra", "zh-Hant"}, {"jpn", "ja-JP"},
      {"kor", "ko-KR"}, {"fra", "fr-FR"},       {"deu", "de-DE"},       {"spa", "es-ES"},
      {"por", "pt-BR"}, {"ita", "it-IT"},       {"rus", "ru-RU"},       {"ukr", "uk-UA"},
      {"ara", "ar-SA"}, {"tha", "th-TH"},       {"vie", "vi-VN"},
  };
  return map;
}

namespace {

std::optional<std::string_view> tagFor(std::string_view code) {
  for (const auto& pair : languageMap()) {
    if (pair.code == code) return pair.tag;
  }
  return std::nullopt;
}

}  // namespace

LanguageRequest parseLanguageList(std::string_view list) {
  LanguageRequest request;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view part = list.substr(start, comma - start);
    if (!part.empty()) {
      request.langIds.emplace_back(part);
      if (auto tag = tagFor(part)) request.visionLanguages.emplace_back(*tag);
    }
    start = comma + 1;
  }
  return request;
}

}  // namespace quorvane::ocr
