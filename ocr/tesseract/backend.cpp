#include "ocr/tesseract/backend.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
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
    for (;;) {
      n = ::read(fd, input.bytes.data() + before, kChunk);
      if (n >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
      // A non-blocking input that is empty for now has not ended: wait for more.
      if (errno != EINTR) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, -1);
      }
    }
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
  // The engine reads the other languages on a thread of its own while the
  // networks find the lines here; lines the engine has read beyond doubt are
  // not read again.
  Pix* grey = pixOf(bitmap);
  const std::vector<std::string> others = engineLanguagesBeside(names.names);
  std::variant<std::vector<ReadLine>, std::string> engine(std::in_place_index<0>);
  std::thread reading;
  if (!others.empty()) reading = std::thread([&] { engine = recognizer_.readLines(bitmap, others, languages); });
  auto found = neural_->detect(grey, typicalGlyphHeight(grey));
  if (reading.joinable()) reading.join();
  if (found.index() == 1) return {std::get<1>(found), std::nullopt};
  if (engine.index() == 1) return {std::get<1>(engine), std::nullopt};
  std::vector<ReadLine>& engineLines = std::get<0>(engine);
  std::vector<PixelBox> unsettled;
  for (const PixelBox& line : std::get<0>(found)) {
    if (!settledByEngine(line, engineLines)) unsettled.push_back(line);
  }
  auto neural = neural_->recognise(grey, unsettled);
  if (neural.index() == 1) return {std::get<1>(neural), std::nullopt};
  return {std::nullopt, observationsOf(mergeReadings(std::move(std::get<0>(neural)), std::move(engineLines)),
                                       bitmap.width, bitmap.height)};
}

}  // namespace quorvane::ocr
