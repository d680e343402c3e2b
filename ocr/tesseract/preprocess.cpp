#include "ocr/tesseract/preprocess.h"

#include <algorithm>
#include <array>

namespace quorvane::ocr {

std::vector<Strip> stripsFor(std::uint32_t height, std::uint32_t maxHeight, std::uint32_t overlap) {
  if (height <= maxHeight || overlap >= maxHeight) return {Strip{0, height, 0, height}};
  const std::uint32_t step = maxHeight - overlap;
  std::vector<Strip> strips;
  for (std::uint32_t top = 0;; top += step) {
    Strip strip{top, std::min(top + maxHeight, height), 0, 0};
    strip.ownTop = strips.empty() ? 0 : top + overlap / 2;
    bool last = strip.bottom == height;
    strip.ownBottom = last ? height : strip.bottom - overlap / 2;
    strips.push_back(strip);
    if (last) break;
  }
  return strips;
}

bool stripOwnsLine(const Strip& strip, std::uint32_t lineTop, std::uint32_t lineBottom) {
  std::uint64_t twiceCentre = std::uint64_t{lineTop} + lineBottom;
  return twiceCentre >= 2 * std::uint64_t{strip.ownTop} && twiceCentre < 2 * std::uint64_t{strip.ownBottom};
}

namespace {

// Big enough that a tile inside a large glyph is rare, small enough to follow
// the panels of a dark-mode window.
constexpr std::uint32_t kTile = 40;
constexpr std::uint32_t kDarkMedian = 110;

std::uint32_t tileMedian(Pix* grey, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1) {
  std::array<std::uint32_t, 256> histogram{};
  const l_uint32* data = pixGetData(grey);
  const l_int32 wpl = pixGetWpl(grey);
  for (std::uint32_t y = y0; y < y1; ++y) {
    const l_uint32* row = data + std::size_t(y) * wpl;
    for (std::uint32_t x = x0; x < x1; ++x) ++histogram[GET_DATA_BYTE(row, x)];
  }
  const std::uint32_t half = (x1 - x0) * (y1 - y0) / 2;
  std::uint32_t seen = 0;
  for (std::uint32_t value = 0; value < 256; ++value) {
    seen += histogram[value];
    if (seen > half) return value;
  }
  return 255;
}

void invertTile(Pix* grey, std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1) {
  l_uint32* data = pixGetData(grey);
  const l_int32 wpl = pixGetWpl(grey);
  for (std::uint32_t y = y0; y < y1; ++y) {
    l_uint32* row = data + std::size_t(y) * wpl;
    for (std::uint32_t x = x0; x < x1; ++x) SET_DATA_BYTE(row, x, 255 - GET_DATA_BYTE(row, x));
  }
}

}  // namespace

PixPtr lightBackground(Pix* grey) {
  const std::uint32_t width = pixGetWidth(grey), height = pixGetHeight(grey);
  const std::uint32_t columns = (width + kTile - 1) / kTile, rows = (height + kTile - 1) / kTile;
  std::vector<bool> dark(std::size_t(columns) * rows);
  bool anyDark = false;
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < columns; ++c) {
      std::uint32_t x0 = c * kTile, y0 = r * kTile;
      bool isDark = tileMedian(grey, x0, y0, std::min(x0 + kTile, width), std::min(y0 + kTile, height)) < kDarkMedian;
      dark[std::size_t(r) * columns + c] = isDark;
      anyDark = anyDark || isDark;
    }
  }
  if (!anyDark) return nullptr;
  PixPtr light(pixCopy(nullptr, grey));
  if (!light) return nullptr;
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < columns; ++c) {
      if (!dark[std::size_t(r) * columns + c]) continue;
      std::uint32_t x0 = c * kTile, y0 = r * kTile;
      invertTile(light.get(), x0, y0, std::min(x0 + kTile, width), std::min(y0 + kTile, height));
    }
  }
  return light;
}

std::uint32_t typicalGlyphHeight(Pix* grey) {
  constexpr l_int32 kInk = 128;
  constexpr l_int32 kMinGlyph = 4, kMaxGlyph = 160;
  PixPtr binary(pixThresholdToBinary(grey, kInk));
  if (!binary) return 0;
  Boxa* boxes = pixConnCompBB(binary.get(), 8);
  if (!boxes) return 0;
  std::vector<std::uint32_t> heights;
  for (l_int32 i = 0, n = boxaGetCount(boxes); i < n; ++i) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h) != 0) continue;
    // Character-like: not a speck, not a rule or a panel.
    if (h >= kMinGlyph && h <= kMaxGlyph && w <= 2 * h) heights.push_back(static_cast<std::uint32_t>(h));
  }
  boxaDestroy(&boxes);
  if (heights.empty()) return 0;
  auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
  std::nth_element(heights.begin(), middle, heights.end());
  return *middle;
}

}  // namespace quorvane::ocr
