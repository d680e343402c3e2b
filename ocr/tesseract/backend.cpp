#include "ocr/tesseract/backend.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
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
  // Two threads keep both cores busy: the engine reads the other languages
  // on one while the networks find the lines on the other, and each turns to
  // reading the lines found once its own work is done. A line waits until
  // the engine's reading is known: lines the engine has read beyond doubt
  // are not read again.
  Pix* grey = pixOf(bitmap);
  const std::vector<std::string> others = engineLanguagesBeside(names.names);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<PixelBox> found;                       // every line, in the order found
  std::size_t released = 0;                          // lines past the engine's check
  std::vector<std::size_t> waiting;                  // lines to read, by index in found
  std::vector<std::uint32_t> waitingWidths;          // their recogniser widths
  std::vector<std::optional<Reading>> readings;      // by index in found
  std::vector<ReadLine> engineLines;
  std::optional<std::string> detectFailure, engineFailure, readFailure;
  bool detected = false, engineDone = others.empty();
  PpocrReader::LineReader readers[2] = {{*neural_, grey}, {*neural_, grey}};
  std::vector<std::uint32_t> held[2];                // the widths each reader has networks for
  // With the lock held: lines found and not settled by the engine go to the readers.
  auto release = [&] {
    if (!engineDone) return;
    readings.resize(found.size());
    for (; released < found.size(); ++released) {
      if (settledByEngine(found[released], engineLines)) continue;
      waiting.push_back(released);
      waitingWidths.push_back(readers[0].widthFor(found[released]));
    }
    changed.notify_all();
  };
  auto failed = [&] { return detectFailure || engineFailure || readFailure; };
  auto readLines = [&](std::size_t self) {
    auto next = [&] { return nextLineFor(waitingWidths, held[self], held[1 - self]); };
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      changed.wait(guard, [&] { return failed() || next() || (detected && engineDone); });
      if (failed()) return;
      // Every line is known; those left are the other thread's to read.
      const std::optional<std::size_t> taken = next();
      if (!taken) return;
      const std::size_t line = waiting[*taken];
      const PixelBox box = found[line];
      if (!std::count(held[self].begin(), held[self].end(), waitingWidths[*taken])) {
        held[self].push_back(waitingWidths[*taken]);
      }
      waiting.erase(waiting.begin() + std::ptrdiff_t(*taken));
      waitingWidths.erase(waitingWidths.begin() + std::ptrdiff_t(*taken));
      guard.unlock();
      auto read = readers[self].read(box);
      guard.lock();
      if (read.index() == 1) {
        if (!readFailure) readFailure = std::get<1>(read);
        changed.notify_all();
        return;
      }
      readings[line] = std::move(std::get<0>(read));
    }
  };
  std::thread second([&] {
    if (!others.empty()) {
      auto engine = recognizer_.readLines(bitmap, others, languages);
      std::lock_guard<std::mutex> guard(lock);
      engineDone = true;
      if (engine.index() == 1) {
        engineFailure = std::get<1>(engine);
        changed.notify_all();
        return;
      }
      engineLines = std::move(std::get<0>(engine));
      release();
    }
    readLines(1);
  });
  auto detection = neural_->detect(grey, typicalGlyphHeight(grey), [&](std::vector<PixelBox> lines) {
    std::lock_guard<std::mutex> guard(lock);
    found.insert(found.end(), lines.begin(), lines.end());
    release();
  });
  {
    std::lock_guard<std::mutex> guard(lock);
    detected = true;
    detectFailure = detection;
    changed.notify_all();
  }
  readLines(0);
  second.join();
  if (detectFailure) return {*detectFailure, std::nullopt};
  if (engineFailure) return {*engineFailure, std::nullopt};
  if (readFailure) return {*readFailure, std::nullopt};
  std::vector<ReadLine> neuralLines;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    if (readings[i]) neuralLines.push_back({found[i], std::move(*readings[i])});
  }
  return {std::nullopt, observationsOf(mergeReadings(std::move(neuralLines), std::move(engineLines)),
                                       bitmap.width, bitmap.height)};
}

}  // namespace quorvane::ocr
