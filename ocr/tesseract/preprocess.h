// Screenshot preparation for Tesseract, and the strips that keep a tall
// capture within the engine's size limit. Each step is here because it was
// measured to pay on screenshots (see bench/ocr).
#pragma once

#include <cstdint>
#include <vector>

#include "ocr/image/pix.h"

namespace quorvane::ocr {

// Tesseract refuses an image side of 32767 px or more.
inline constexpr std::uint32_t kMaxEngineSide = 32000;

// A horizontal band of a tall image, recognised on its own. Neighbouring
// strips overlap so that every line lies whole in one of them; a line belongs
// to the strip whose owned band holds its vertical centre.
struct Strip {
  std::uint32_t top = 0, bottom = 0;          // rows recognised, [top, bottom)
  std::uint32_t ownTop = 0, ownBottom = 0;    // rows whose lines this strip reports
};

// One strip when the height fits, else strips of at most maxHeight rows that
// overlap by `overlap` rows and own the rows between their overlaps' middles.
std::vector<Strip> stripsFor(std::uint32_t height, std::uint32_t maxHeight, std::uint32_t overlap);

bool stripOwnsLine(const Strip& strip, std::uint32_t lineTop, std::uint32_t lineBottom);

// Ink of either polarity as dark on white: each pixel's distance from its
// local ground (the median around it). Light text on a dark panel, dark text
// on a light one and white text on a coloured button all come out alike,
// with panel edges kept sharp, which global thresholding cannot do.
PixPtr inkOnWhite(Pix* grey);

// Median height of character-like connected components, in the polarity
// that has more of them; 0 when there are none.
std::uint32_t typicalGlyphHeight(Pix* grey);

}  // namespace quorvane::ocr
