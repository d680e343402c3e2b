#include "ocr/tesseract/recognizer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <omp.h>

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include "common/text.h"
#include "ocr/languages.h"
#include "ocr/image/image.h"
#include "ocr/tesseract/preprocess.h"
#include "ocr/texts.h"

namespace quorvane::ocr {
namespace {

// Glyph heights (median, pixels) outside which the engine reads better after
// scaling: tiny text is doubled; HiDPI text is halved, which reads as well
// and costs a quarter of the time.
constexpr std::uint32_t kTinyGlyph = 6;
constexpr std::uint32_t kLargeGlyph = 16;
// Upscaling stops at this many pixels: memory and time grow fourfold.
constexpr std::uint64_t kMaxUpscaledPixels = std::uint64_t{40} << 20;
// A capture is read in strips of this many rows, so that the engine's copies
// of the picture (thresholds, ink, scaled) grow with a strip, not the image.
// Taller than any screen, so a screenshot is one strip.
constexpr std::uint32_t kStripRows = 4096;
// Rows shared by neighbouring strips: more than any line is tall.
constexpr std::uint32_t kStripOverlap = 256;
// Room around a line read again on its own: the engine wants some ground
// above and below the glyphs, but not the neighbouring lines.
constexpr double kLinePadY = 0.25, kLinePadX = 0.5;

struct TextDeleter {
  void operator()(char* text) const { delete[] text; }
};

std::string withoutTrailingBreaks(const char* raw) {
  std::string text = sanitizeUtf8(raw);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

PixelBox unite(const PixelBox& a, const PixelBox& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

std::optional<PixelBox> symbolBox(const tesseract::ResultIterator& it) {
  int left, top, right, bottom;
  if (!it.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom)) return std::nullopt;
  return PixelBox{double(left), double(top), double(right), double(bottom)};
}

// Drops the first symbol of the line the iterator is at from its text when
// it is an echo of the second.
void dropEcho(const tesseract::ResultIterator& line, std::string& text) {
  int left, top, right, bottom;
  if (!line.BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) return;
  tesseract::ResultIterator symbol(line);
  std::unique_ptr<char, TextDeleter> first(symbol.GetUTF8Text(tesseract::RIL_SYMBOL));
  const std::optional<PixelBox> firstBox = symbolBox(symbol);
  if (!first || !firstBox || symbol.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_SYMBOL) ||
      !symbol.Next(tesseract::RIL_SYMBOL)) {
    return;
  }
  const std::optional<PixelBox> secondBox = symbolBox(symbol);
  if (secondBox && text.starts_with(first.get()) && echoOfNextGlyph(*firstBox, *secondBox, bottom - top)) {
    text.erase(0, std::strlen(first.get()));
  }
}

std::string lineText(tesseract::ResultIterator& it) {
  std::unique_ptr<char, TextDeleter> raw(it.GetUTF8Text(tesseract::RIL_TEXTLINE));
  // Tesseract ends every line with a line break (and a paragraph with two).
  std::string text = raw ? withoutTrailingBreaks(raw.get()) : std::string();
  if (!text.empty()) dropEcho(it, text);
  return text;
}

std::string missingDescription(const std::string& name, const std::string& tag) {
  return texts::kLoadFailed + tag + texts::kLoadFailedData + name + texts::kLoadFailedPackage + "tesseract-ocr-" +
         [&] {
           std::string package = name;
           std::replace(package.begin(), package.end(), '_', '-');
           return package;
         }() +
         texts::kLoadFailedEnd;
}

float scaleFor(Pix* grey) {
  const std::uint32_t width = pixGetWidth(grey), height = pixGetHeight(grey);
  const std::uint32_t glyph = typicalGlyphHeight(grey);
  float scale = 1.0f;
  if (glyph >= kLargeGlyph) scale = 0.5f;
  if (glyph > 0 && glyph < kTinyGlyph && std::uint64_t{width} * height * 4 <= kMaxUpscaledPixels) scale = 2.0f;
  // The engine's width limit wins over legibility; height is handled by strips.
  return std::min(scale, float(kMaxEngineSide) / float(width));
}

// The connected pieces of ink of an image prepared as dark ink on white.
std::vector<PixelBox> inkPieces(Pix* prepared) {
  constexpr l_int32 kInk = 128;
  std::vector<PixelBox> pieces;
  PixPtr binary(pixThresholdToBinary(prepared, kInk));
  Boxa* boxes = binary ? pixConnCompBB(binary.get(), 8) : nullptr;
  if (!boxes) return pieces;
  for (l_int32 i = 0, n = boxaGetCount(boxes); i < n; ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h) != 0) continue;
    pieces.push_back({double(x), double(y), double(x + w), double(y + h)});
  }
  boxaDestroy(&boxes);
  return pieces;
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

// A line as the first pass found it, in pixels of the decoded image, and
// its reading once any second looks are done.
struct TesseractRecognizer::Line {
  PixelBox box;          // in the scaled strip while the strip is read, then in the image
  Reading reading;
  bool joined = false;   // pieces of one line put back together: read again whatever the confidence
};

tesseract::TessBaseAPI* TesseractRecognizer::alone(const std::string& name) {
  auto& api = alone_[name];
  if (!api) {
    api = std::make_unique<tesseract::TessBaseAPI>();
    api->SetVariable("debug_file", "/dev/null");
    // Already loaded once with the others, so this cannot fail for want of data.
    if (api->Init(nullptr, name.c_str(), tesseract::OEM_LSTM_ONLY) != 0) return nullptr;
    api->SetVariable("preserve_interword_spaces", "1");
  }
  return api.get();
}

Reading TesseractRecognizer::readLine(tesseract::TessBaseAPI& api, Pix* image, const PixelBox& box) {
  const double padY = box.height() * kLinePadY, padX = box.height() * kLinePadX;
  const double width = pixGetWidth(image), height = pixGetHeight(image);
  const int left = int(std::max(0.0, box.left - padX)), top = int(std::max(0.0, box.top - padY));
  const int right = int(std::min(width, box.right + padX)), bottom = int(std::min(height, box.bottom + padY));
  if (right <= left || bottom <= top) return {};
  api.SetImage(image);
  api.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
  api.SetRectangle(left, top, right - left, bottom - top);
  if (api.Recognize(nullptr) != 0) return {};
  std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
  Reading reading;
  if (!it) return reading;
  // One line is asked for; should the engine still cut it, the pieces are read left to right.
  float confidence = 0;
  int pieces = 0;
  do {
    std::string text = lineText(*it);
    if (text.empty()) continue;
    reading.text += (reading.text.empty() ? "" : " ") + text;
    confidence += std::clamp(it->Confidence(tesseract::RIL_TEXTLINE) / 100.0f, 0.0f, 1.0f);
    ++pieces;
  } while (it->Next(tesseract::RIL_TEXTLINE));
  if (pieces > 0) reading.confidence = confidence / float(pieces);
  return reading;
}

void TesseractRecognizer::reread(Line& line, Pix* ink, Pix* plain) {
  // In order: the first pass (the whole of a joined line read afresh), the
  // picture without the ink-on-white step, then each language alone.
  const std::size_t languages = names_.size() > 1 && worthReadingAlone(line.box) ? names_.size() : 0;
  line.reading = settleReading(2 + languages, [&](std::size_t i) -> Reading {
    if (i == 0) return line.joined ? readLine(*api_, ink, line.box) : line.reading;
    if (i == 1) return readLine(*api_, plain, line.box);
    if (!worthReadingWith(names_[i - 2], line.reading.text)) return Reading{};
    tesseract::TessBaseAPI* api = alone(names_[i - 2]);
    return api ? readLine(*api, ink, line.box) : Reading{};
  });
}

bool TesseractRecognizer::readStrip(Pix* grey, const Strip& strip, float scale, std::vector<Line>& lines) {
  PixPtr band;
  Pix* image = grey;
  if (strip.top != 0 || strip.bottom != std::uint32_t(pixGetHeight(grey))) {
    Box* rect = boxCreate(0, l_int32(strip.top), pixGetWidth(grey), l_int32(strip.bottom - strip.top));
    band.reset(pixClipRectangle(grey, rect, nullptr));
    boxDestroy(&rect);
    if (!band) return false;
    image = band.get();
  }
  if (scale != 1.0f) {
    PixPtr scaled(pixScale(image, scale, scale));
    if (!scaled) return false;
    band = std::move(scaled);
    image = band.get();
  }
  // Too small an image for the ground window is read as it is.
  PixPtr ink = inkOnWhite(image);
  Pix* prepared = ink ? ink.get() : image;

  api_->SetImage(prepared);
  api_->SetPageSegMode(tesseract::PSM_SPARSE_TEXT);
  if (api_->Recognize(nullptr) != 0) return false;
  std::vector<Line> found;
  std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
  if (it) {
    do {
      int left, top, right, bottom;
      if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
      std::string text = lineText(*it);
      if (text.empty()) continue;
      float confidence = std::clamp(it->Confidence(tesseract::RIL_TEXTLINE) / 100.0f, 0.0f, 1.0f);
      found.push_back(Line{PixelBox{double(left), double(top), double(right), double(bottom)},
                           Reading{std::move(text), confidence}});
    } while (it->Next(tesseract::RIL_TEXTLINE));
  }
  it.reset();

  const std::vector<PixelBox> glyphs = inkPieces(prepared);
  std::vector<PixelBox> boxes;
  for (Line& line : found) {
    boxes.push_back(line.box);
    // CJK glyphs are not thin, and a CJK line read again among other languages may read worse.
    if (mostlyCjk(line.reading.text)) continue;
    const PixelBox whole = reachOverInk(line.box, glyphs);
    // Glyphs left out: the line is read again whole.
    if (whole.left < line.box.left || whole.right > line.box.right) line = Line{whole, line.reading, true};
    boxes.back() = line.box;
  }
  std::vector<bool> gone(found.size(), false);
  for (const auto& group : splitLines(boxes)) {
    Line& whole = found[group.front()];
    for (std::size_t i = 1; i < group.size(); ++i) {
      whole.box = unite(whole.box, found[group[i]].box);
      gone[group[i]] = true;
    }
    whole.joined = true;
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (gone[i]) continue;
    Line& line = found[i];
    const std::uint32_t top = strip.top + std::uint32_t(line.box.top / scale);
    const std::uint32_t bottom = strip.top + std::uint32_t(line.box.bottom / scale);
    if (!stripOwnsLine(strip, top, bottom)) continue;
    if (worthReadingAgain(line.reading.confidence, line.joined, besideNetworks_)) reread(line, prepared, image);
    if (line.reading.text.empty()) continue;
    line.box = PixelBox{line.box.left / scale, strip.top + line.box.top / scale, line.box.right / scale,
                        strip.top + line.box.bottom / scale};
    lines.push_back(std::move(line));
  }
  return true;
}

Recognition TesseractRecognizer::recognize(const Bitmap& bitmap, const std::vector<std::string>& tags) {
  TraineddataList names = traineddataFor(tags);
  if (names.unknownTag) return {texts::kNoDataFor + *names.unknownTag + texts::kNoDataForEnd, std::nullopt};
  auto lines = readLines(bitmap, names.names, tags);
  if (lines.index() == 1) return {std::get<1>(lines), std::nullopt};
  return {std::nullopt, observationsOf(std::move(std::get<0>(lines)), bitmap.width, bitmap.height)};
}

std::variant<std::vector<ReadLine>, std::string> TesseractRecognizer::readLines(const Bitmap& bitmap,
                                                                                const std::vector<std::string>& names,
                                                                                const std::vector<std::string>& tags,
                                                                                bool besideNetworks) {
  using Result = std::variant<std::vector<ReadLine>, std::string>;
  // The LSTM runs OpenMP sections, whose threads spin and fight the rest of
  // the work on a small machine. The limit is the calling thread's own: a
  // thread started to read beside the networks starts without it.
  omp_set_max_active_levels(0);
  if (auto failure = load(names, tags)) return Result(std::in_place_index<1>, *failure);
  names_ = names;
  besideNetworks_ = besideNetworks;

  Pix* grey = pixOf(bitmap);
  const float scale = scaleFor(grey);
  // Strips are cut in the decoded image's rows; scaled, they stay within the engine's limit.
  const std::uint32_t stripRows = std::min(kStripRows, std::uint32_t(float(kMaxEngineSide) / std::max(scale, 1.0f)));
  std::vector<Line> lines;
  for (const Strip& strip : stripsFor(bitmap.height, stripRows, kStripOverlap)) {
    if (!readStrip(grey, strip, scale, lines)) return Result(std::in_place_index<1>, texts::kReadingFailed);
  }
  std::vector<ReadLine> read;
  read.reserve(lines.size());
  for (Line& line : lines) read.push_back({line.box, std::move(line.reading)});
  return Result(std::in_place_index<0>, std::move(read));
}

}  // namespace quorvane::ocr
