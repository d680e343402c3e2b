// The real OcrPlatform: standard input, Leptonica decoding, and recognition
// with Tesseract, joined by PP-OCR's networks where Chinese is asked for.
#pragma once

#include <memory>

#include "ocr/ppocr/reader.h"
#include "ocr/recognition.h"
#include "ocr/tesseract/recognizer.h"

namespace quorvane::ocr {

class TesseractBackend final : public OcrPlatform {
 public:
  explicit TesseractBackend(int inputFd) : inputFd_(inputFd) {}
  InputBytes readInput(size_t maxBytes) override;
  Decoded decode(const std::string& bytes) override;
  Recognition recognize(const Bitmap& bitmap, const std::vector<std::string>& languages) override;

 private:
  int inputFd_;
  TesseractRecognizer recognizer_;
  std::unique_ptr<PpocrReader> neural_;
};

// Reads fd to its end, keeping at most maxBytes; stops reading as soon as
// more than that has arrived.
InputBytes readAll(int fd, size_t maxBytes);

}  // namespace quorvane::ocr
