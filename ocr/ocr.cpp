#include "ocr/ocr.h"

#include <utf8proc.h>

#include "ocr/languages.h"
#include "ocr/texts.h"

namespace quorvane::ocr {

int fail(Output& out, std::string_view message) {
  Encoded encoded = encodeJson(Json{{"type", "error"}, {"message", message}});
  if (encoded.bytes) {
    out.write(*encoded.bytes);
    out.write("\n");
  }
  return kStatusFailed;
}

namespace {

// White space and line breaks as the application's platform counts them:
// tab to carriage return, NEL, and every space, line or paragraph separator.
bool isBlank(utf8proc_int32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  auto category = utf8proc_category(c);
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

std::string_view stripBlanks(std::string_view text) {
  auto bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  size_t first = text.size(), last = 0;
  for (size_t at = 0; at < text.size();) {
    utf8proc_int32_t c = -1;
    utf8proc_ssize_t length = utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &c);
    // An ill-formed byte is no blank; the encoder refuses it later.
    if (length <= 0) length = 1;
    if (c < 0 || !isBlank(c)) {
      if (first == text.size()) first = at;
      last = at + static_cast<size_t>(length);
    }
    at += static_cast<size_t>(length);
  }
  if (first == text.size()) return {};
  return text.substr(first, last - first);
}

Json lineEntry(const NormalizedBox& box, float confidence, double imageWidth, double imageHeight) {
  return Json{
      {"x", jsonNumber(box.x * imageWidth)},
      {"y", jsonNumber((1.0 - box.top()) * imageHeight)},
      {"width", jsonNumber(box.width * imageWidth)},
      {"height", jsonNumber(box.height * imageHeight)},
      {"confidence", jsonNumber(static_cast<double>(confidence) * 100.0)},
      {"angle", jsonNumber(0)},
  };
}

}  // namespace

std::string joinLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += lines[i];
  }
  return std::string(stripBlanks(joined));
}

Json resultMessage(const std::vector<Observation>& sorted, double imageWidth, double imageHeight,
                   bool layout) {
  std::vector<std::string> textLines;
  Json lineData = Json::array();
  double totalConfidence = 0;
  int count = 0;
  for (const Observation& observation : sorted) {
    if (!observation.top) continue;
    const Candidate& candidate = *observation.top;
    textLines.push_back(candidate.text);
    totalConfidence += static_cast<double>(candidate.confidence);
    ++count;
    if (layout) lineData.push_back(lineEntry(observation.box, candidate.confidence, imageWidth, imageHeight));
  }
  double avgConfidence = count < 1 ? 0.0 : totalConfidence / count * 100.0;
  Json result{{"type", "result"}, {"text", joinLines(textLines)}, {"confidence", jsonNumber(avgConfidence)}};
  if (layout) result["lines"] = std::move(lineData);
  return result;
}

int runOcr(const std::vector<std::string>& args, OcrPlatform& platform, Output& out) {
  if (args.size() < 2) return fail(out, texts::kUsage);
  LanguageRequest languages = parseLanguageList(args[1]);
  const bool layout = args.size() >= 3 && args[2] == "layout";
  if (languages.visionLanguages.empty()) return fail(out, texts::kNoLanguage);

  InputBytes input = platform.readInput(kMaxInputBytes);
  if (input.bytes.empty()) return fail(out, texts::kNoImageData);
  if (input.overLimit) return fail(out, texts::kUndecodable);
  Decoded decoded = platform.decode(input.bytes);
  // The encoded image is no longer needed; recognition may want the memory.
  std::string().swap(input.bytes);
  if (decoded.status == Decoded::Status::notAnImage) return fail(out, texts::kUndecodable);
  if (decoded.status == Decoded::Status::noBitmap) return fail(out, texts::kNoBitmap);

  int status = kStatusDone;
  Channel channel(out, [&](const std::string& description) {
    status = fail(out, texts::kUnencodable + description);
  });
  if (!channel.emit(Json{{"type", "progress"}, {"status", "loading"}})) return status;

  Recognition recognition = platform.recognize(decoded.bitmap, languages.visionLanguages);
  if (recognition.failure) return fail(out, texts::kEngineFailed + *recognition.failure);
  if (!recognition.results) return fail(out, texts::kNoResults);

  std::vector<Observation> sorted = std::move(*recognition.results);
  sortReadingOrder(sorted);
  channel.emit(resultMessage(sorted, decoded.bitmap.width, decoded.bitmap.height, layout));
  return status;
}

}  // namespace quorvane::ocr
