// An in-process OcrPlatform for unit tests: chosen input, decode outcome and
// recognition, and a log of what the core asked for.
#pragma once

#include "ocr/recognition.h"

namespace quorvane::ocr {

class FakePlatform final : public OcrPlatform {
 public:
  InputBytes readInput(size_t maxBytes) override {
    calls.push_back("read " + std::to_string(maxBytes));
    return input;
  }
  Decoded decode(const std::string& bytes) override {
    calls.push_back("decode " + bytes);
    return decoded;
  }
  Recognition recognize(const Bitmap&, const std::vector<std::string>& languages) override {
    calls.emplace_back("recognize");
    for (const auto& language : languages) calls.back() += " " + language;
    return recognition;
  }
  InputBytes input{"image bytes", false};
  Decoded decoded{Decoded::Status::ok, Bitmap{1000, 400, nullptr}};
  Recognition recognition{std::nullopt, std::vector<Observation>{}};
  std::vector<std::string> calls;
};

}  // namespace quorvane::ocr
