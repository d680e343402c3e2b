// Screenshot preparation for Tesseract. Each step is here because it was
// measured to pay on screenshots (see bench/ocr).
#pragma once

#include <cstdint>

#include "ocr/image/pix.h"

namespace quorvane::ocr {

// Tesseract refuses an image side of 32767 px or more.
inline constexpr std::uint32_t kMaxEngineSide = 32000;

// Ink of either polarity as dark on white: each pixel's distance from its
// local ground (the median around it). Light text on a dark panel, dark text
// on a light one and white text on a coloured button all come out alike,
// with panel edges kept sharp, which global thresholding cannot do.
PixPtr inkOnWhite(Pix* grey);

// Median height of character-like connected components, in the polarity
// that has more of them; 0 when there are none.
std::uint32_t typicalGlyphHeight(Pix* grey);

}  // namespace quorvane::ocr
