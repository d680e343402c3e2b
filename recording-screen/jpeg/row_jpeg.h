// JPEG encoding that re-encodes only what changed. Every file has a restart
// interval of one MCU row, so each MCU row is an entropy-coded segment of its
// own (restarts reset the DC predictors, and 4:2:0 downsampling never looks
// across a 16-row boundary). The segments of the last file are kept; the next
// picture's changed rows are encoded alone and spliced in between them. The
// file is always the whole picture, byte for byte what one compressor writes
// with the same restart interval; it is handed out in those segments, which
// are written as they are. Rows still being read are waited for a
// piece at a time, top first, so encoding overlaps their read-back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recording-screen/capture.h"
#include "recording-screen/jpeg/region_jpeg.h"

namespace quorvane::recording::jpeg {

// Whole frames of 1920 x 1080 pixels and more are encoded on two threads, one
// per core of a small machine; the threads take pieces in turn, so a thread
// scheduled late costs about one piece.
inline constexpr std::uint64_t kTwoThreadMinPixels = 1920 * 1080;

// A whole picture is encoded in pieces of MCU rows (first, count), taken in
// order by whichever thread is free: about an eighth of the picture each,
// enough for a late thread to cost little, few enough that setting up a
// compressor per piece does not show. The first usual piece is split in a
// third and two thirds, so that both threads start within the first rows
// read back rather than one waiting for a whole piece of them; and the last
// ones halve what is left, so that the threads end within a small piece of
// each other.
inline constexpr std::uint32_t kWholePieces = 8;
// Looks the second thread may take for rows still being read, in one frame,
// before it sleeps until they come: a few milliseconds on a free core, as
// long as a 5K picture takes to read back.
inline constexpr int kPollTurns = 4000;
struct Piece {
  std::uint32_t first = 0, count = 0;
  bool operator==(const Piece&) const = default;
};
std::vector<Piece> wholePieces(std::uint32_t mcuRows);

// Where the first restart marker at or after `from` starts in entropy-coded
// data, or npos.
std::size_t restartMarkerAt(std::string_view scan, std::size_t from);

// A thread kept for the encoder's second share of a frame: starting one per
// frame cost its start-up on every frame. It sleeps between jobs.
class SecondThread {
 public:
  SecondThread() = default;
  ~SecondThread();  // waits for the job in hand, then ends the thread
  SecondThread(const SecondThread&) = delete;
  SecondThread& operator=(const SecondThread&) = delete;

  // Runs `job` on the thread, started at the first call; false when no thread
  // can be had. The job must not throw.
  bool run(std::function<void()> job);
  // Returns once the job last run has returned.
  void wait();

 private:
  void loop();

  std::mutex lock_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool ending_ = false;
  std::thread thread_;
};

class RowJpegEncoder final : public Encoder {
 public:
  // Whole pictures of at least `twoThreadMinPixels` are encoded on two threads.
  explicit RowJpegEncoder(std::uint64_t twoThreadMinPixels) : twoThreadMinPixels_(twoThreadMinPixels) {}

  // Not thread-safe: one encoder serves the one sample worker.
  std::optional<std::string> encodeJpeg(const PixelView& pixels) override;
  // The headers, then each MCU row's segment with the marker after it.
  std::optional<std::vector<std::string_view>> encodeJpegParts(const PixelView& pixels) override;

 private:
  bool encodeWhole(const PixelView& pixels);
  std::vector<std::string_view> parts() const;
  bool encodeRows(const PixelView& pixels, std::uint32_t firstRow, std::uint32_t rows, std::string* headers,
                  RegionCompressor& compressor);

  std::uint64_t twoThreadMinPixels_;
  std::uint32_t width_ = 0, height_ = 0;
  std::string headers_;               // SOI up to the start of scan, of the whole picture
  std::vector<std::string> segments_;  // one per MCU row, with the restart marker (or EOI) that follows it
  RegionCompressor compressors_[2];    // one per encoding thread
  SecondThread second_;
};

}  // namespace quorvane::recording::jpeg
