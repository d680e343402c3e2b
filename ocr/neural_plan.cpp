#include "ocr/neural_plan.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>

namespace quorvane::ocr {

namespace {

constexpr std::string_view kNeuralLanguage = "chi_sim";
constexpr std::uint32_t kStride = 32;

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
  if (typicalGlyph >= kHalveGlyphsFrom) plan.scale = 0.5;
  plan.scale = std::min(plan.scale, double(kMaxDetectorWidth - kStride) / width);
  const auto scaledWidth = std::max<std::uint32_t>(1, std::uint32_t(std::lround(width * plan.scale)));
  const auto scaledHeight = std::max<std::uint32_t>(1, std::uint32_t(std::lround(height * plan.scale)));
  plan.width = roundUp(scaledWidth, kStride);
  // Band height: the most whole strides of rows within the pixel budget.
  const auto rows = std::uint32_t(kMaxDetectorPixels / plan.width) / kStride * kStride;
  plan.bands = stripsFor(scaledHeight, std::max(rows, 2 * kDetectorOverlap), kDetectorOverlap);
  return plan;
}

std::uint32_t paddedHeight(const Strip& band) { return roundUp(band.bottom - band.top, kStride); }

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

PixelBox unclip(const PixelBox& box, double ratio) {
  const double width = box.right - box.left, height = box.height();
  if (width <= 0 || height <= 0) return box;
  const double grow = width * height * ratio / (2 * (width + height));
  return {box.left - grow, box.top - grow, box.right + grow, box.bottom + grow};
}

Reading decodeCtc(const std::vector<Step>& steps, const std::vector<std::string>& symbols) {
  Reading reading;
  double sum = 0;
  std::size_t kept = 0, previous = 0;
  for (const Step& step : steps) {
    if (step.symbol != 0 && step.symbol != previous) {
      reading.text += step.symbol <= symbols.size() ? symbols[step.symbol - 1] : std::string(" ");
      sum += step.probability;
      ++kept;
    }
    previous = step.symbol;
  }
  if (kept > 0) reading.confidence = float(sum / double(kept));
  return reading;
}

}  // namespace quorvane::ocr
