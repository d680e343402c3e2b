// Text recognition with Tesseract's LSTM engine over a decoded grey bitmap.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ocr/recognition.h"

namespace tesseract {
class TessBaseAPI;
}

namespace quorvane::ocr {

// The traineddata names for recognition tags, in order, each once ("en-US" ->
// "eng"); nullopt names the first tag that has none.
struct TraineddataList {
  std::vector<std::string> names;
  std::optional<std::string> unknownTag;
};
TraineddataList traineddataFor(const std::vector<std::string>& tags);

class TesseractRecognizer {
 public:
  TesseractRecognizer();
  ~TesseractRecognizer();
  Recognition recognize(const Bitmap& bitmap, const std::vector<std::string>& tags);

 private:
  std::optional<std::string> load(const std::vector<std::string>& names, const std::vector<std::string>& tags);
  std::unique_ptr<tesseract::TessBaseAPI> api_;
};

}  // namespace quorvane::ocr
