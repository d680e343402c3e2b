// Owning handle for Leptonica images.
#pragma once

#include <memory>

#include <leptonica/allheaders.h>

namespace quorvane::ocr {

struct PixDeleter {
  void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

}  // namespace quorvane::ocr
