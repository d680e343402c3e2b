// The application's language codes and the recognition language tags they
// stand for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::ocr {

struct LanguagePair {
  std::string_view code;  // as the application passes it ("chi_sim")
  std::string_view tag;   // as recognition takes it ("zh-Hans")
};

// The fifteen codes the application knows, matched exactly and case-sensitively.
const std::vector<LanguagePair>& languageMap();

struct LanguageRequest {
  std::vector<std::string> langIds;          // non-empty parts of the list, unchanged
  std::vector<std::string> visionLanguages;  // tags of the known codes, in order, repeats kept
};

// Cuts the list at every comma, drops empty parts (no trimming: " jpn" is not
// "jpn") and translates the known codes; unknown codes are skipped silently.
LanguageRequest parseLanguageList(std::string_view list);

}  // namespace quorvane::ocr
