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
  // Two threads keep both cores busy: the engine reads the other languages
  // on one while the networks find the lines on the other, and each turns to
  // reading the lines found once its own work is done. Lines the engine has
  // read beyond doubt are not read again; the networks' thread reads ahead
  // while the engine's reading is not known yet. The engine starts first:
  // the networks are read from their files meanwhile.
  Pix* grey = pixOf(bitmap);
  const std::vector<std::string> others = engineLanguagesBeside(names.names);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<PixelBox> found;                       // every line, in the order found
  std::vector<std::optional<Reading>> readings;      // by index in found
  LineSchedule schedule(2);
  std::vector<ReadLine> engineLines;
  std::optional<std::string> openFailure, detectFailure, engineFailure, readFailure;
  bool detected = false;
  std::optional<PpocrReader::LineReader> readers[2];  // once the networks are open
  // With the lock held.
  auto engineKnown = [&] {
    schedule.engineKnown([&](std::size_t line) { return settledByEngine(found[line], engineLines); });
    changed.notify_all();
  };
  if (others.empty()) engineKnown();
  auto failed = [&] { return openFailure || detectFailure || engineFailure || readFailure; };
  auto readLines = [&](std::size_t self) {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      std::optional<std::size_t> taken;
      changed.wait(guard, [&] {
        return failed() || (readers[self] && (taken = schedule.next(self))) || (detected && schedule.engineKnown());
      });
      // Every line is known; those left are the other thread's to read.
      if (failed() || !taken) return;
      const std::size_t line = *taken;
      const PixelBox box = found[line];
      guard.unlock();
      auto read = readers[self]->read(box);
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
      auto engine = recognizer_.readLines(bitmap, others, languages, true);
      std::lock_guard<std::mutex> guard(lock);
      if (engine.index() == 1) {
        engineFailure = std::get<1>(engine);
        changed.notify_all();
        return;
      }
      engineLines = std::move(std::get<0>(engine));
      engineKnown();
    }
    readLines(1);
  });
  if (!neural_) {
    auto opened = PpocrReader::open(modelFolder());
    std::lock_guard<std::mutex> guard(lock);
    if (opened.index() == 0) neural_ = std::move(std::get<0>(opened));
    if (opened.index() == 1) openFailure = std::get<1>(opened);
  }
  std::optional<std::string> detection;
  if (neural_) {
    {
      std::lock_guard<std::mutex> guard(lock);
      for (auto& reader : readers) reader.emplace(*neural_, grey);
      changed.notify_all();
    }
    detection = neural_->detect(grey, typicalGlyphHeight(grey), [&](std::vector<PixelBox> lines) {
      std::lock_guard<std::mutex> guard(lock);
      for (const PixelBox& line : lines) {
        found.push_back(line);
        readings.emplace_back();
        schedule.add(readers[0]->widthFor(line));
      }
      changed.notify_all();
    });
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    detected = true;
    if (!openFailure) detectFailure = detection;
    changed.notify_all();
  }
  readLines(0);
  second.join();
  if (openFailure) return {*openFailure, std::nullopt};
  if (detectFailure) return {*detectFailure, std::nullopt};
  if (engineFailure) return {*engineFailure, std::nullopt};
  if (readFailure) return {*readFailure, std::nullopt};
  std::vector<ReadLine> neuralLines;
  for (std::size_t i = 0; i < readings.size(); ++i) {
    if (readings[i] && schedule.counts(i)) neuralLines.push_back({found[i], std::move(*readings[i])});
  }
  return {std::nullopt, observationsOf(mergeReadings(std::move(neuralLines), std::move(engineLines)),
                                       bitmap.width, bitmap.height)};
}

}  // namespace quorvane::ocr
