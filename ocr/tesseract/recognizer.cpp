#include "ocr/tesseract/recognizer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include "common/text.h"
#include "ocr/languages.h"
#include "ocr/image/image.h"
#include "ocr/tesseract/preprocess.h"

namespace quorvane::ocr {
namespace {

// Glyph heights (median, pixels) outside which the engine reads better after
// scaling: tiny text is doubled; HiDPI text is halved, which reads as well
// and costs a quarter of the time.
constexpr std::uint32_t kTinyGlyph = 6;
constexpr std::uint32_t kLargeGlyph = 16;
// Upscaling stops at this many pixels: memory and time grow fourfold.
constexpr std::uint64_t kMaxUpscaledPixels = std::uint64_t{40} << 20;
// Rows shared by neighbouring strips of a tall capture: more than any line.
constexpr std::uint32_t kStripOverlap = 600;

struct TextDeleter {
  void operator()(char* text) const { delete[] text; }
};

std::string lineText(tesseract::ResultIterator& it) {
  std::unique_ptr<char, TextDeleter> raw(it.GetUTF8Text(tesseract::RIL_TEXTLINE));
  if (!raw) return {};
  std::string text = sanitizeUtf8(raw.get());
  // Tesseract ends every line with a line break (and a paragraph with two).
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string missingDescription(const std::string& name, const std::string& tag) {
  return "无法加载 " + tag + " 的语言数据 " + name + ".traineddata（请安装 tesseract-ocr-" +
         [&] {
           std::string package = name;
           std::replace(package.begin(), package.end(), '_', '-');
           return package;
         }() +
         "）";
}

// Image size and scale of what the engine sees, so its boxes map back.
struct Prepared {
  PixPtr owned;
  Pix* pix = nullptr;
  float scale = 1.0f;
};

float scaleFor(Pix* grey) {
  const std::uint32_t width = pixGetWidth(grey), height = pixGetHeight(grey);
  const std::uint32_t glyph = typicalGlyphHeight(grey);
  float scale = 1.0f;
  if (glyph >= kLargeGlyph) scale = 0.5f;
  if (glyph > 0 && glyph < kTinyGlyph && std::uint64_t{width} * height * 4 <= kMaxUpscaledPixels) scale = 2.0f;
  // The engine's width limit wins over legibility; height is handled by strips.
  return std::min(scale, float(kMaxEngineSide) / float(width));
}

Prepared prepare(Pix* grey) {
  Prepared prepared;
  prepared.pix = grey;
  prepared.scale = scaleFor(grey);
  if (prepared.scale != 1.0f) {
    PixPtr scaled(pixScale(grey, prepared.scale, prepared.scale));
    if (scaled) {
      prepared.owned = std::move(scaled);
      prepared.pix = prepared.owned.get();
    } else {
      prepared.scale = 1.0f;
    }
  }
  // Too small an image for the ground window is used as it is.
  if (PixPtr ink = inkOnWhite(prepared.pix)) {
    prepared.owned = std::move(ink);
    prepared.pix = prepared.owned.get();
  }
  return prepared;
}

}  // namespace

TraineddataList traineddataFor(const std::vector<std::string>& tags) {
  TraineddataList list;
  for (const std::string& tag : tags) {
    auto pair = std::find_if(languageMap().begin(), languageMap().end(),
                             [&](const LanguagePair& p) { return p.tag == tag; });
    if (pair == languageMap().end()) {
      list.unknownTag = tag;
      return list;
    }
    // The application's codes are Tesseract's traineddata names.
    std::string name(pair->code);
    if (std::find(list.names.begin(), list.names.end(), name) == list.names.end()) list.names.push_back(name);
  }
  return list;
}

TesseractRecognizer::TesseractRecognizer() : api_(std::make_unique<tesseract::TessBaseAPI>()) {}
TesseractRecognizer::~TesseractRecognizer() = default;

std::optional<std::string> TesseractRecognizer::load(const std::vector<std::string>& names,
                                                     const std::vector<std::string>& tags) {
  std::string joined;
  for (const auto& name : names) joined += (joined.empty() ? "" : "+") + name;
  // The engine's diagnostics would only clutter the application's log.
  api_->SetVariable("debug_file", "/dev/null");
  int status = api_->Init(nullptr, joined.c_str(), tesseract::OEM_LSTM_ONLY);
  std::vector<std::string> loaded;
  if (status == 0) api_->GetLoadedLanguagesAsVector(&loaded);
  // Tesseract carries on without a language it could not load; a user who
  // asked for it would get silently worse text, so it is a failure here.
  for (const auto& name : names) {
    if (std::find(loaded.begin(), loaded.end(), name) == loaded.end()) {
      for (const auto& tag : tags) {  // name it as the caller asked for it
        if (traineddataFor({tag}).names.front() == name) return missingDescription(name, tag);
      }
      return missingDescription(name, name);
    }
  }
  // UI screenshots: scattered labels and panels, not a page of paragraphs.
  api_->SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
  // Without it, Chinese after a Latin language comes out with a blank between every character.
  api_->SetVariable("preserve_interword_spaces", "1");
  return std::nullopt;
}

Recognition TesseractRecognizer::recognize(const Bitmap& bitmap, const std::vector<std::string>& tags) {
  TraineddataList names = traineddataFor(tags);
  if (names.unknownTag) return {"没有 " + *names.unknownTag + " 的语言数据", std::nullopt};
  if (auto failure = load(names.names, tags)) return {failure, std::nullopt};

  Prepared prepared = prepare(pixOf(bitmap));
  const double width = bitmap.width, height = bitmap.height;
  const std::uint32_t scaledHeight = pixGetHeight(prepared.pix);
  std::vector<Observation> observations;
  for (const Strip& strip : stripsFor(scaledHeight, kMaxEngineSide, kStripOverlap)) {
    PixPtr band;
    Pix* image = prepared.pix;
    if (strip.top != 0 || strip.bottom != scaledHeight) {
      Box* rect = boxCreate(0, l_int32(strip.top), pixGetWidth(prepared.pix), l_int32(strip.bottom - strip.top));
      band.reset(pixClipRectangle(prepared.pix, rect, nullptr));
      boxDestroy(&rect);
      if (!band) return {"无法切分过高的图片", std::nullopt};
      image = band.get();
    }
    api_->SetImage(image);
    if (api_->Recognize(nullptr) != 0) return {"识别过程出错", std::nullopt};
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (!it) continue;  // nothing found on this strip
    do {
      int left, top, right, bottom;
      if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
      std::string text = lineText(*it);
      if (text.empty()) continue;
      if (!stripOwnsLine(strip, strip.top + top, strip.top + bottom)) continue;
      const double scale = prepared.scale;
      const double x0 = left / scale, x1 = right / scale;
      const double y0 = (strip.top + top) / scale, y1 = (strip.top + bottom) / scale;
      NormalizedBox box{x0 / width, (height - y1) / height, (x1 - x0) / width, (y1 - y0) / height};
      float confidence = std::clamp(it->Confidence(tesseract::RIL_TEXTLINE) / 100.0f, 0.0f, 1.0f);
      observations.push_back(Observation{box, Candidate{std::move(text), confidence}});
    } while (it->Next(tesseract::RIL_TEXTLINE));
  }
  return {std::nullopt, std::move(observations)};
}

}  // namespace quorvane::ocr
