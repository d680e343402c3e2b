#include "recording-screen/jpeg/row_jpeg.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "recording-screen/jpeg/region_jpeg.h"

namespace quorvane::recording::jpeg {

namespace {

std::uint32_t mcuRowsOf(std::uint32_t height) { return (height + kMcuSide - 1) / kMcuSide; }

bool isRestart(unsigned char c) { return (c & ~(kRestartMarkers - 1)) == kRestartMarker0; }

// The entropy-coded data cut at its restart markers into the `count` strings
// at `into` (their capacity reused); false unless there are exactly that many
// parts.
bool splitAtRestarts(std::string_view scan, std::string* into, std::size_t count) {
  std::size_t start = 0, parts = 0;
  for (std::size_t i = restartMarkerAt(scan, 0); i != std::string_view::npos; i = restartMarkerAt(scan, i + 2)) {
    if (parts + 1 >= count) return false;
    into[parts++].assign(scan.substr(start, i - start));
    start = i + 2;
  }
  if (parts + 1 != count) return false;
  into[parts].assign(scan.substr(start));
  return true;
}

// Whether the pixel rows of MCU rows [0, mcuRows) are in, waiting for them.
// A thread given `pollTurns` first looks for them that many times in all,
// yielding its core between looks, before it sleeps.
bool rowsIn(const PixelView& pixels, std::uint32_t mcuRows, int* pollTurns = nullptr) {
  if (!pixels.arriving) return true;
  const std::uint32_t bottom = std::min(mcuRows * kMcuSide, pixels.height);
  while (pollTurns && *pollTurns > 0) {
    --*pollTurns;
    const auto in = pixels.arriving->arrivedYet(bottom);
    if (!in || *in) break;
    std::this_thread::yield();
  }
  return pixels.arriving->await(bottom);
}

}  // namespace

// Data bytes of 0xFF are always followed by a stuffed 0x00, so a 0xFF before
// RST0..RST7 is a marker. Markers are rare but 0xFF is not (runs of ones in
// flat areas: 8 % of a 5K desktop's bytes), so a search byte by byte, or from
// one 0xFF to the next, cost about 5 % of a frame's encode; blocks are looked
// through first without a branch per byte, which the compiler vectorises.
std::size_t restartMarkerAt(std::string_view scan, std::size_t from) {
  const auto* p = reinterpret_cast<const unsigned char*>(scan.data());
  const std::size_t n = scan.size();
  constexpr std::size_t kBlock = 64;
  std::size_t i = from;
  for (; i + kBlock < n; i += kBlock) {
    unsigned char found = 0;  // bytes, so that the compare stays in byte lanes
    for (std::size_t k = 0; k < kBlock; ++k) found |= (p[i + k] == kJpegMarker) & isRestart(p[i + k + 1]);
    if (found) break;
  }
  for (; i + 1 < n; ++i) {
    if (p[i] == kJpegMarker && isRestart(p[i + 1])) return i;
  }
  return std::string_view::npos;
}

// Rows [firstRow, firstRow + rows) of MCU rows encoded as a file of their own
// by `compressor`; its segments replace the kept ones. `headers`, when given,
// gets the file's headers.
bool RowJpegEncoder::encodeRows(const PixelView& pixels, std::uint32_t firstRow, std::uint32_t rows,
                                std::string* headers, RegionCompressor& compressor) {
  const std::uint32_t first = firstRow * kMcuSide;
  const std::uint32_t count = std::min(rows * kMcuSide, pixels.height - first);
  const std::uint32_t interval = (pixels.width + kMcuSide - 1) / kMcuSide;
  auto file = compressor.compress(pixels, first, count, interval);
  auto layout = file ? scanLayout(*file) : std::nullopt;
  if (!layout) return false;
  if (!splitAtRestarts(file->substr(layout->scanBegin, layout->scanEnd - layout->scanBegin), &segments_[firstRow],
                       rows)) {
    return false;
  }
  for (std::uint32_t r = firstRow; r < firstRow + rows; ++r) {
    const bool last = r + 1 == segments_.size();
    segments_[r].push_back(static_cast<char>(kJpegMarker));
    segments_[r].push_back(static_cast<char>(last ? kJpegEoi : kRestartMarker0 + r % kRestartMarkers));
  }
  if (headers) {
    headers->assign(file->substr(0, layout->scanBegin));
    (*headers)[layout->heightAt] = static_cast<char>(pixels.height >> 8);
    (*headers)[layout->heightAt + 1] = static_cast<char>(pixels.height & 0xFF);
  }
  return true;
}

std::vector<Piece> wholePieces(std::uint32_t mcuRows) {
  std::vector<Piece> pieces;
  const std::uint32_t usual = (mcuRows + kWholePieces - 1) / kWholePieces;
  const std::uint32_t least = (usual + 5) / 6;
  std::uint32_t left = mcuRows;
  const auto take = [&](std::uint32_t rows) {
    rows = std::min(rows, left);
    if (left - rows < least) rows = left;  // no sliver left at the end
    pieces.push_back({mcuRows - left, rows});
    left -= rows;
  };
  const std::uint32_t first = (usual + 2) / 3;
  if (left > 0) take(first);
  if (left > 0 && usual > first) take(usual - first);
  while (left > 0) take(left <= 2 * usual ? std::max(least, (left + 1) / 2) : usual);
  return pieces;
}

// Where the picture is large enough, two threads take pieces of it in turn.
// With a second core free the frame takes about half as long; when the second
// thread waits to be scheduled, the first takes its pieces, so a busy machine
// loses at most about one piece, where fixed halves made it wait for a whole
// half.
// Pieces are taken top first, each once its rows are in, so pictures still
// being read are encoded as their rows arrive.
bool RowJpegEncoder::encodeWhole(const PixelView& pixels) {
  const std::uint32_t mcuRows = mcuRowsOf(pixels.height);
  segments_.resize(mcuRows);  // every one is written below; the strings keep their capacity
  const bool twoThreads = std::uint64_t{pixels.width} * pixels.height >= twoThreadMinPixels_ && mcuRows >= 2;
  if (!twoThreads && !pixels.arriving) return encodeRows(pixels, 0, mcuRows, &headers_, compressors_[0]);
  const auto pieces = wholePieces(mcuRows);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> ok{true};
  // A failure (no memory) on either thread fails the frame, never the process.
  auto takePieces = [&](RegionCompressor& compressor, int* pollTurns) {
    try {
      // A piece is taken once its rows are in, so that the thread they come
      // to first starts on them while the other may still sleep.
      for (std::size_t piece = next; ok && piece < pieces.size();) {
        const auto [first, rows] = pieces[piece];
        if (!rowsIn(pixels, first + rows, pollTurns)) {
          ok = false;
        } else if (next.compare_exchange_strong(piece, piece + 1)) {
          if (!encodeRows(pixels, first, rows, first == 0 ? &headers_ : nullptr, compressor)) ok = false;
          piece = next;
        }  // else the other thread took it, and `piece` is the next one left
      }
    } catch (const std::exception&) {
      ok = false;
    }
  };
  // The second thread was woken by this one, not by the window system, so
  // it usually has a core the window system is not on: it looks for rows
  // rather than sleeping until they come. This one sent the reads, and the
  // window system was woken onto its core: it sleeps, leaving it the core.
  int pollTurns = kPollTurns;
  const bool helped = twoThreads && second_.run([&] { takePieces(compressors_[1], &pollTurns); });
  takePieces(compressors_[0], nullptr);
  if (helped) second_.wait();
  return ok;
}

SecondThread::~SecondThread() {
  {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return !busy_; });
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool SecondThread::run(std::function<void()> job) {
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { loop(); });
    } catch (const std::exception&) {
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
  return true;
}

void SecondThread::wait() {
  std::unique_lock<std::mutex> lock(lock_);
  changed_.wait(lock, [this] { return !busy_; });
}

void SecondThread::loop() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || ending_; });
    if (!busy_) return;
    lock.unlock();
    job_();
    lock.lock();
    job_ = nullptr;
    busy_ = false;
    changed_.notify_all();
  }
}

std::optional<std::string> RowJpegEncoder::encodeJpeg(const PixelView& pixels) {
  auto parts = encodeJpegParts(pixels);
  if (!parts) return std::nullopt;
  std::size_t size = 0;
  for (auto part : *parts) size += part.size();
  std::string file;
  file.reserve(size);
  for (auto part : *parts) file += part;
  return file;
}

std::vector<std::string_view> RowJpegEncoder::parts() const {
  std::vector<std::string_view> parts{headers_};
  parts.insert(parts.end(), segments_.begin(), segments_.end());
  return parts;
}

std::optional<std::vector<std::string_view>> RowJpegEncoder::encodeJpegParts(const PixelView& pixels) {
  if (!pixels.bgrx || pixels.width == 0 || pixels.height == 0) return std::nullopt;
  // A restart interval is one MCU row, and a DRI marker holds at most 65535.
  if ((pixels.width + kMcuSide - 1) / kMcuSide > kMaxRestartInterval) return std::nullopt;
  const bool sameSize = pixels.width == width_ && pixels.height == height_ && !segments_.empty();
  // Most rows changed, a new size or no knowledge: the whole picture.
  if (!sameSize || !pixels.changed || mostlyChanged(*pixels.changed, pixels.height)) {
    width_ = pixels.width;
    height_ = pixels.height;
    if (!encodeWhole(pixels)) {
      segments_.clear();
      return std::nullopt;
    }
    return parts();
  }
  const auto rows = changedMcuRows(*pixels.changed, pixels.height);
  for (std::uint32_t r = 0; r < rows.size();) {
    if (!rows[r]) {
      ++r;
      continue;
    }
    std::uint32_t end = r;
    while (end < rows.size() && rows[end]) ++end;
    if (!rowsIn(pixels, end) || !encodeRows(pixels, r, end - r, nullptr, compressors_[0])) {
      segments_.clear();  // the kept file is no longer whole
      return std::nullopt;
    }
    r = end;
  }
  return parts();
}

}  // namespace quorvane::recording::jpeg
