// What quorvane-ocr relies on from the system: the bytes on standard input,
// an image decoder and a text recognition engine. The Tesseract backend
// (tesseract/backend.h) is the real one; fake_recognition.h drives the core
// in unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ocr/reading_order.h"

namespace quorvane::ocr {

struct InputBytes {
  std::string bytes;
  bool overLimit = false;  // input went on past the limit; bytes holds a prefix
};

// A decoded image ready for recognition. The pixels belong to the backend
// that made them; the core reads only the size.
struct Bitmap {
  std::uint32_t width = 0, height = 0;
  std::shared_ptr<void> pixels;
};

struct Decoded {
  enum class Status { ok, notAnImage, noBitmap } status = Status::notAnImage;
  Bitmap bitmap;
};

struct Recognition {
  std::optional<std::string> failure;                // the engine's description of why it failed
  std::optional<std::vector<Observation>> results;   // absent: the engine gave no result list
};

class OcrPlatform {
 public:
  virtual ~OcrPlatform() = default;
  // Everything on standard input up to its end, reading at most maxBytes + 1.
  virtual InputBytes readInput(size_t maxBytes) = 0;
  virtual Decoded decode(const std::string& bytes) = 0;
  // One accurate pass over the whole bitmap; languages are recognition tags in priority order.
  virtual Recognition recognize(const Bitmap& bitmap, const std::vector<std::string>& languages) = 0;
};

}  // namespace quorvane::ocr
