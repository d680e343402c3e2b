// Text recognition with Tesseract's LSTM engine over a decoded grey bitmap.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ocr/reading_plan.h"
#include "ocr/recognition.h"

struct Pix;

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
  // The lines of the bitmap in its pixels, read with these traineddata names
  // (asked for as `tags`), beside the networks or not (worthReadingAgain);
  // or why they could not be read.
  std::variant<std::vector<ReadLine>, std::string> readLines(const Bitmap& bitmap, const std::vector<std::string>& names,
                                                             const std::vector<std::string>& tags,
                                                             bool besideNetworks = false);

 private:
  struct Line;
  std::optional<std::string> load(const std::vector<std::string>& names, const std::vector<std::string>& tags);
  // The engine for one language alone, loaded the first time a line needs it.
  tesseract::TessBaseAPI* alone(const std::string& name);
  bool readStrip(Pix* grey, const Strip& strip, float scale, std::vector<Line>& lines);
  Reading readLine(tesseract::TessBaseAPI& api, Pix* image, const PixelBox& box);
  void reread(Line& line, Pix* ink, Pix* plain);

  std::unique_ptr<tesseract::TessBaseAPI> api_;  // every listed language, in order
  std::vector<std::string> names_;
  bool besideNetworks_ = false;
  std::map<std::string, std::unique_ptr<tesseract::TessBaseAPI>> alone_;
};

}  // namespace quorvane::ocr
