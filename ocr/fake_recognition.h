// An in-process OcrPlatform for unit tests: chosen input, decode outcome and
// recognition, and a record of what the core asked for.
#pragma once

#include "ocr/recognition.h"

namespace quorvane::ocr {

class FakePlatform final : public OcrPlatform {
 public:
  InputBytes readInput(size_t maxBytes) override {
    ++inputReads;
    askedMaxBytes = maxBytes;
    return input;
  }
  Decoded decode(const std::string& bytes) override {
    decodedBytes = bytes;
    return decoded;
  }
  Recognition recognize(const Bitmap& bitmap, const std::vector<std::string>& languages) override {
    ++recognitions;
    recognizedWidth = bitmap.width;
    askedLanguages = languages;
    return recognition;
  }

  // What the fake answers.
  InputBytes input{"image bytes", false};
  Decoded decoded{Decoded::Status::ok, Bitmap{1000, 400, nullptr}};
  Recognition recognition{std::nullopt, std::vector<Observation>{}};

  // What the core asked for.
  int inputReads = 0;
  size_t askedMaxBytes = 0;
  std::string decodedBytes;
  int recognitions = 0;
  std::uint32_t recognizedWidth = 0;
  std::vector<std::string> askedLanguages;
};

}  // namespace quorvane::ocr
