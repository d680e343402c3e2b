#include "ocr/neural_plan.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>

namespace quorvane::ocr {

namespace {

constexpr std::string_view kNeuralLanguage = "chi_sim";
constexpr std::uint32_t kStride = kDetectorStride;

std::uint32_t roundUp(std::uint32_t value, std::uint32_t step) { return (value + step - 1) / step * step; }

}  // namespace

bool readsNeurally(const std::vector<std::string>& names) {
  return std::find(names.begin(), names.end(), kNeuralLanguage) != names.end();
}

std::vector<std::string> engineLanguagesBeside(const std::vector<std::string>& names) {
  std::vector<std::string> others;
  std::copy_if(names.begin(), names.end(), std::back_inserter(others), [](const std::string& name) {
    return name != kNeuralLanguage;
  });
  return others;
}

DetectorPlan detectorPlan(std::uint32_t width, std::uint32_t height, std::uint32_t typicalGlyph) {
  DetectorPlan plan;
  if (width == 0 || height == 0) return plan;
  if (typicalGlyph > kDetectorGlyph) plan.scale = kDetectorGlyph / typicalGlyph;
  plan.scale = std::min(plan.scale, double(kMaxDetectorWidth - kStride) / width);
  const auto scaledWidth = std::max<std::uint32_t>(1, std::uint32_t(std::lround(width * plan.scale)));
  const auto scaledHeight = std::max<std::uint32_t>(1, std::uint32_t(std::lround(height * plan.scale)));
  planBands(plan, scaledWidth, scaledHeight, typicalGlyph);
  return plan;
}

void planBands(DetectorPlan& plan, std::uint32_t scaledWidth, std::uint32_t scaledHeight, std::uint32_t typicalGlyph) {
  plan.bands.clear();
  plan.width = roundUp(scaledWidth, kStride);
  const std::uint32_t overlap = std::clamp(roundUp(std::uint32_t(std::lround(kOverlapGlyphs * typicalGlyph * plan.scale)), kStride),
                                           kMinDetectorOverlap, kMaxDetectorOverlap);
  // The most whole strides of rows within the pixel budget; then as few bands
  // as that allows, all of one height, so the last one is not mostly padding.
  const std::uint32_t most = std::max(std::uint32_t(kMaxDetectorPixels / plan.width) / kStride * kStride, 2 * overlap);
  if (scaledHeight <= most) {
    plan.bandHeight = roundUp(scaledHeight, kStride);
    plan.bands = {Strip{0, scaledHeight, 0, scaledHeight}};
    return;
  }
  const std::uint32_t count = (scaledHeight - overlap + (most - overlap) - 1) / (most - overlap);
  plan.bandHeight = roundUp((scaledHeight - overlap + count - 1) / count + overlap, kStride);
  plan.bands = stripsFor(scaledHeight, plan.bandHeight, overlap);
}

Squeeze squeeze(const std::vector<bool>& repeats, std::uint32_t keep, std::uint32_t step) {
  Squeeze squeezed;
  const std::uint32_t size = std::uint32_t(repeats.size());
  for (std::uint32_t at = 0; at < size;) {
    if (!repeats[at] || at == 0) {
      squeezed.kept.push_back(at++);
      continue;
    }
    std::uint32_t end = at;
    while (end < size && repeats[end]) ++end;
    const std::uint32_t run = end - at;
    const std::uint32_t gone = run > keep && step > 0 ? (run - keep) / step * step : 0;
    const std::uint32_t left = run - gone;
    for (std::uint32_t row = at; row < end; ++row) {
      if (row < at + left / 2 || row >= end - (left - left / 2)) squeezed.kept.push_back(row);
    }
    at = end;
  }
  return squeezed;
}

std::vector<bool> repeatingRows(std::size_t count, const std::function<bool(std::size_t, std::size_t)>& alike) {
  std::vector<bool> repeats(count, false);
  std::size_t first = 0;
  for (std::size_t row = 1; row < count; ++row) {
    repeats[row] = alike(first, row);
    if (!repeats[row]) first = row;
  }
  return repeats;
}

double Squeeze::start(double at) const {
  if (kept.empty()) return at;
  if (at < 0) return kept.front() + at;
  const double last = double(kept.size() - 1);
  if (at > last) return kept.back() + (at - last);
  const auto row = std::size_t(at);
  return kept[row] + (at - double(row));
}

double Squeeze::end(double at) const {
  if (kept.empty()) return at;
  // The end of row i is the end of the image's row kept[i].
  if (at <= 0) return kept.front() + at;
  const double size = double(kept.size());
  if (at > size) return kept.back() + 1 + (at - size);
  const auto row = std::size_t(std::ceil(at)) - 1;
  return kept[row] + 1 - (double(row + 1) - at);
}

std::uint32_t groundKept(std::uint32_t typicalGlyph) {
  return std::max(kMinGroundKept, kGroundKeptGlyphs * typicalGlyph);
}

std::uint32_t scaledLineWidth(double width, double height) {
  if (!(width > 0) || !(height > 0)) return 0;
  return std::uint32_t(std::ceil(width * kLineHeight / height));
}

std::uint32_t lineWidthFor(std::uint32_t scaledWidth) {
  for (std::uint32_t width : kLineWidths) {
    if (scaledWidth <= width) return width;
  }
  return std::end(kLineWidths)[-1];
}

std::optional<std::size_t> nextLineFor(const std::vector<std::uint32_t>& waiting, const std::vector<std::uint32_t>& held,
                                       const std::vector<std::uint32_t>& heldElsewhere) {
  const auto in = [](const std::vector<std::uint32_t>& widths, std::uint32_t width) {
    return std::find(widths.begin(), widths.end(), width) != widths.end();
  };
  const auto first = [&](auto take) -> std::optional<std::size_t> {
    const auto line = std::find_if(waiting.begin(), waiting.end(), take);
    if (line == waiting.end()) return std::nullopt;
    return std::size_t(line - waiting.begin());
  };
  if (auto line = first([&](std::uint32_t width) { return in(held, width); })) return line;
  if (auto line = first([&](std::uint32_t width) { return !in(heldElsewhere, width); })) return line;
  std::optional<std::size_t> most;
  std::size_t count = 0;
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    const auto lines = std::size_t(std::count(waiting.begin(), waiting.end(), waiting[i]));
    if (lines > count) most = i, count = lines;
  }
  return count >= kLinesForASecondNetwork ? most : std::nullopt;
}

LineSchedule::LineSchedule(std::size_t threads) : held_(threads) {}

void LineSchedule::add(std::uint32_t width) {
  widths_.push_back(width);
  states_.push_back(State::kOpen);
  if (settled_) settle(states_.size() - 1);
}

void LineSchedule::engineKnown(std::function<bool(std::size_t)> settled) {
  settled_ = std::move(settled);
  for (std::size_t line = 0; line < states_.size(); ++line) settle(line);
}

void LineSchedule::settle(std::size_t line) {
  if (settled_(line)) states_[line] = State::kSettled;
}

std::optional<std::size_t> LineSchedule::next(std::size_t thread) {
  std::vector<std::size_t> open;
  std::vector<std::uint32_t> widths;
  for (std::size_t line = 0; line < states_.size(); ++line) {
    if (states_[line] != State::kOpen) continue;
    open.push_back(line);
    widths.push_back(widths_[line]);
  }
  std::vector<std::uint32_t> elsewhere;
  for (std::size_t other = 0; other < held_.size(); ++other) {
    if (other != thread) elsewhere.insert(elsewhere.end(), held_[other].begin(), held_[other].end());
  }
  const std::optional<std::size_t> taken = nextLineFor(widths, held_[thread], elsewhere);
  if (!taken) return std::nullopt;
  const std::size_t line = open[*taken];
  states_[line] = State::kTaken;
  std::vector<std::uint32_t>& held = held_[thread];
  if (std::find(held.begin(), held.end(), widths_[line]) == held.end()) held.push_back(widths_[line]);
  return line;
}

bool LineSchedule::counts(std::size_t line) const { return line < states_.size() && states_[line] != State::kSettled; }

PixelBox unclip(const PixelBox& box, double ratio) {
  const double width = box.right - box.left, height = box.height();
  if (width <= 0 || height <= 0) return box;
  const double grow = width * height * ratio / (2 * (width + height));
  return {box.left - grow, box.top - grow, box.right + grow, box.bottom + grow};
}

namespace {

std::uint32_t codePoint(std::string_view symbol) {
  if (symbol.size() != 3) return symbol.size() == 1 ? std::uint8_t(symbol[0]) : 0;
  const auto byte = [&](std::size_t i) { return std::uint32_t(std::uint8_t(symbol[i])); };
  return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
}

// CJK ideographs, kana and Hangul are written without blanks between them.
bool writtenWithoutBlanks(std::uint32_t c) {
  return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF);
}

// Full-width punctuation and the ideographic space are already as wide as a blank.
bool fullWidthPunctuation(std::uint32_t c) { return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFF60); }

bool mayTakeBlank(std::string_view before, std::string_view after) {
  const std::uint32_t a = codePoint(before), b = codePoint(after);
  if (a == ' ' || b == ' ' || fullWidthPunctuation(a) || fullWidthPunctuation(b)) return false;
  return !(writtenWithoutBlanks(a) && writtenWithoutBlanks(b));
}

bool scriptChanges(std::string_view before, std::string_view after) {
  return writtenWithoutBlanks(codePoint(before)) != writtenWithoutBlanks(codePoint(after));
}

float spaceBetween(const std::vector<Step>& steps, std::size_t from, std::size_t to) {
  float most = 0;
  for (std::size_t at = from; at <= to && at < steps.size(); ++at) most = std::max(most, steps[at].space);
  return most;
}

// ASCII punctuation the recogniser gives for its full-width form, which
// looks the same but for the room around it.
std::string_view fullWidthFormOf(std::string_view symbol) {
  static constexpr std::pair<std::string_view, std::string_view> kForms[] = {
      {"(", "（"}, {")", "）"}, {":", "："}, {",", "，"}, {";", "；"}, {"!", "！"}, {"?", "？"}};
  for (const auto& [ascii, wide] : kForms) {
    if (symbol == ascii) return wide;
  }
  return {};
}

}  // namespace

Reading decodeCtc(const std::vector<Step>& steps, const std::vector<std::string>& symbols, const WordGap& wordGap) {
  // The characters kept and the step of each.
  std::vector<std::pair<std::string, std::size_t>> kept;
  double sum = 0;
  std::size_t previous = 0;
  for (std::size_t at = 0; at < steps.size(); ++at) {
    const Step& step = steps[at];
    if (step.symbol != 0 && step.symbol != previous) {
      kept.emplace_back(step.symbol <= symbols.size() ? symbols[step.symbol - 1] : std::string(" "), at);
      sum += step.probability;
    }
    previous = step.symbol;
  }
  Reading reading;
  if (kept.empty()) return reading;
  reading.confidence = float(sum / double(kept.size()));
  const auto wide = [&](std::size_t i, std::size_t j) {
    return wordGap(kept[i].second, kept[j].second) >= kBlankWidth;
  };
  // Beside a CJK character with room between, ASCII punctuation is its full-width form.
  for (std::size_t i = 0; i < kept.size() && wordGap; ++i) {
    const std::string_view wideForm = fullWidthFormOf(kept[i].first);
    if (wideForm.empty()) continue;
    const bool before = i > 0 && writtenWithoutBlanks(codePoint(kept[i - 1].first)) && wide(i - 1, i);
    const bool after = i + 1 < kept.size() && writtenWithoutBlanks(codePoint(kept[i + 1].first)) && wide(i, i + 1);
    if (before || after) kept[i].first = wideForm;
  }
  // Brackets come in pairs of one width: "（PNG 或 JPEG)" closes full-width too.
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < kept.size() && wordGap; ++i) {
    std::string& symbol = kept[i].first;
    if (symbol == "(" || symbol == "（") open.push_back(i);
    if ((symbol != ")" && symbol != "）") || open.empty()) continue;
    std::string& opener = kept[open.back()].first;
    open.pop_back();
    if (opener == "（" || symbol == "）") opener = "（", symbol = "）";
  }
  const auto blank = [&](std::size_t i) {
    if (!wordGap || !mayTakeBlank(kept[i - 1].first, kept[i].first)) return false;
    const double gap = wordGap(kept[i - 1].second, kept[i].second);
    if (gap >= kBlankWidth) return true;
    return scriptChanges(kept[i - 1].first, kept[i].first) && gap >= kScriptChangeBlankWidth &&
           spaceBetween(steps, kept[i - 1].second, kept[i].second) >= kSpaceHint;
  };
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0 && blank(i)) reading.text += ' ';
    reading.text += kept[i].first;
  }
  return reading;
}

}  // namespace quorvane::ocr
