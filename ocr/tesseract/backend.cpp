#include "ocr/tesseract/backend.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <unistd.h>

#include "ocr/image/image.h"
#include "ocr/neural_plan.h"
#include "ocr/tesseract/preprocess.h"

namespace quorvane::ocr {

InputBytes readAll(int fd, size_t maxBytes) {
  constexpr size_t kChunk = 1 << 16;
  InputBytes input;
  for (;;) {
    size_t before = input.bytes.size();
    input.bytes.resize(before + kChunk);
    ssize_t n;
    do {
      n = ::read(fd, input.bytes.data() + before, kChunk);
    } while (n < 0 && errno == EINTR);
    input.bytes.resize(before + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    // A read error ends the input as its end does: what arrived is all there is.
    if (n <= 0) break;
    if (input.bytes.size() > maxBytes) {
      input.bytes.resize(maxBytes);
      input.overLimit = true;
      break;
    }
  }
  return input;
}

InputBytes TesseractBackend::readInput(size_t maxBytes) { return readAll(inputFd_, maxBytes); }

Decoded TesseractBackend::decode(const std::string& bytes) { return decodeImage(bytes); }

Recognition TesseractBackend::recognize(const Bitmap& bitmap, const std::vector<std::string>& languages) {
  TraineddataList names = traineddataFor(languages);
  if (names.unknownTag || !readsNeurally(names.names)) return recognizer_.recognize(bitmap, languages);
  if (!neural_) {
    auto opened = PpocrReader::open(modelFolder());
    if (opened.index() == 1) return {std::get<1>(opened), std::nullopt};
    neural_ = std::move(std::get<0>(opened));
  }
  // The networks read every line on their own thread (and a second one for
  // recognising), while the engine reads the other languages here.
  Pix* grey = pixOf(bitmap);
  std::variant<std::vector<ReadLine>, std::string> neural;
  std::thread reading([&] { neural = neural_->read(grey, typicalGlyphHeight(grey)); });
  std::variant<std::vector<ReadLine>, std::string> engine(std::in_place_index<0>);
  const std::vector<std::string> others = engineLanguagesBeside(names.names);
  if (!others.empty()) engine = recognizer_.readLines(bitmap, others, languages);
  reading.join();
  if (neural.index() == 1) return {std::get<1>(neural), std::nullopt};
  if (engine.index() == 1) return {std::get<1>(engine), std::nullopt};
  return {std::nullopt, observationsOf(mergeReadings(std::move(std::get<0>(neural)), std::move(std::get<0>(engine))),
                                       bitmap.width, bitmap.height)};
}

}  // namespace quorvane::ocr
