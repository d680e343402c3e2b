#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include "recording-screen/jpeg/region_jpeg.h"
#include "recording-screen/jpeg/row_jpeg.h"

namespace quorvane::recording::jpeg {
// Noise, `padding` bytes past each row: detail in every MCU, so that a row
// spliced in the wrong place shows.
struct Picture {
  std::uint32_t width, height;
  std::size_t stride;
  std::vector<std::uint8_t> bgrx;
  PixelView view() const { return PixelView{bgrx.data(), width, height, stride, std::nullopt}; }
};
static Picture picture(std::uint32_t width, std::uint32_t height, std::size_t padding = 0) {
  Picture p{width, height, width * 4 + padding, std::vector<std::uint8_t>((width * 4 + padding) * height)};
  unsigned seed = width * 31 + height;
  for (auto& byte : p.bgrx) byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  return p;
}

// Whether the file decodes as a 4:2:0 JPEG of that size.
static bool decodes(const std::optional<std::string>& jpeg, std::uint32_t width, std::uint32_t height) {
  tjhandle h = tjInitDecompress();
  int w = 0, hh = 0, sub = 0, space = 0;
  std::vector<unsigned char> rgb(std::size_t{width} * height * 3);
  auto* data = jpeg ? reinterpret_cast<const unsigned char*>(jpeg->data()) : nullptr;
  bool ok = jpeg && tjDecompressHeader3(h, data, jpeg->size(), &w, &hh, &sub, &space) == 0 && sub == TJSAMP_420 &&
            w == static_cast<int>(width) && hh == static_cast<int>(height) &&
            tjDecompress2(h, data, jpeg->size(), rgb.data(), w, 0, hh, TJPF_RGB, 0) == 0;
  tjDestroy(h);
  return ok;
}

// A file that outgrows a record fails the frame instead of being cut.
TEST(CompressRegion, RefusesAFileLargerThanARecord) {
  Picture noise = picture(4000, 2400);  // about a byte a pixel at quality 92: over 8 MiB
  EXPECT_FALSE(compressRegion(noise.view(), 0, 2400, 0));
  EXPECT_TRUE(compressRegion(noise.view(), 0, 1200, 0));
}

// A spliced file is what one compressor writes with a restart interval of one
// MCU row, whichever rows changed, the restart numbers wrapping past RST7; rows
// it is told did not change are kept as they were.
TEST(RowJpegEncoder, SplicedFilesAreTheFullEncodeOfThePicture) {
  const std::uint32_t width = 72, height = 20 * 16 - 15, interval = (width + 15) / 16;  // the last row one pixel high
  const std::pair<std::uint32_t, std::uint32_t> changes[] = {{0, 3}, {height - 2, height}, {150, 190}, {31, 33}};
  for (std::uint64_t twoThreadsFrom : {std::uint64_t{0}, std::uint64_t{1} << 40}) {
    Picture p = picture(width, height, 8);
    RowJpegEncoder encoder(twoThreadsFrom);
    ASSERT_EQ(encoder.encodeJpeg(p.view()), compressRegion(p.view(), 0, height, interval));
    PixelView view = p.view();
    for (auto [top, bottom] : changes) {
      for (std::uint32_t y = top; y < bottom; ++y) p.bgrx[y * p.stride + 5 * 4] ^= 0xFF;
      view.changed = std::vector<RowSpan>{{top, bottom}};
      auto spliced = encoder.encodeJpeg(view);
      EXPECT_EQ(spliced, compressRegion(p.view(), 0, height, interval)) << top;
      EXPECT_TRUE(decodes(spliced, width, height)) << top;
    }
    auto last = compressRegion(p.view(), 0, height, interval);
    p.bgrx[100 * p.stride] ^= 0xFF;  // in MCU row 6, which the view does not name
    view.changed = std::vector<RowSpan>{{0, 1}};
    EXPECT_EQ(encoder.encodeJpeg(view), last);
  }
}

// A picture read back in bands of `band` rows from `source` into `into`,
// which starts blank: a band lands only when rows in it are awaited, so rows
// encoded before they were awaited show as blank. Rows from `failsFrom` on never arrive.
class Bands final : public RowsArriving {
 public:
  Bands(const Picture& source, Picture& into, std::uint32_t band, std::uint32_t failsFrom = UINT32_MAX)
      : source_(source), into_(into), band_(band), failsFrom_(failsFrom) {
    std::fill(into_.bgrx.begin(), into_.bgrx.end(), 0);
  }
  bool await(std::uint32_t bottom) override {
    std::lock_guard<std::mutex> guard(lock_);
    while (in_ < bottom) {
      const std::uint32_t next = std::min(in_ + band_, source_.height);
      if (next > failsFrom_) return false;
      std::memcpy(&into_.bgrx[in_ * into_.stride], &source_.bgrx[in_ * source_.stride], (next - in_) * into_.stride);
      in_ = next;
    }
    return true;
  }

 private:
  std::mutex lock_;
  const Picture& source_;
  Picture& into_;
  std::uint32_t band_, failsFrom_, in_ = 0;
};

// Rows encoded as they arrive make the same file as the picture read whole,
// on one thread or two, whole or spliced; rows that never arrive fail the
// frame, and the next one is encoded whole again.
TEST(RowJpegEncoder, EncodesRowsAsTheyArrive) {
  struct Case {
    std::uint32_t width, height, band;
    std::uint64_t twoThreadsFrom;
  };
  const Case cases[] = {{72, 20 * 16 - 15, 16, 0}, {72, 20 * 16 - 15, 7, 1ull << 40}, {200, 33 * 16, 40, 0},
                        {48, 16, 16, 0}, {48, 9, 64, 1ull << 40}};
  for (const auto& c : cases) {
    const Picture source = picture(c.width, c.height, 8);
    const std::uint32_t interval = (c.width + 15) / 16;
    Picture into = source;
    RowJpegEncoder encoder(c.twoThreadsFrom);
    Bands whole(source, into, c.band);
    PixelView view = into.view();
    view.arriving = &whole;
    EXPECT_EQ(encoder.encodeJpeg(view), compressRegion(source.view(), 0, c.height, interval)) << c.width << c.band;
    Bands some(source, into, c.band);
    view.arriving = &some;
    view.changed = std::vector<RowSpan>{{c.height - 1, c.height}};
    EXPECT_EQ(encoder.encodeJpeg(view), compressRegion(source.view(), 0, c.height, interval)) << c.width << c.band;
    Bands failing(source, into, c.band, c.height - 1);
    view.arriving = &failing;
    EXPECT_EQ(encoder.encodeJpeg(view), std::nullopt) << c.width << c.band;
    Bands failingWhole(source, into, c.band, c.height / 2);
    view.arriving = &failingWhole;
    view.changed = std::nullopt;
    EXPECT_EQ(encoder.encodeJpeg(view), std::nullopt) << c.width << c.band;
    view.arriving = nullptr;
    view.bgrx = source.bgrx.data();
    EXPECT_EQ(encoder.encodeJpeg(view), compressRegion(source.view(), 0, c.height, interval)) << c.width << c.band;
  }
}

// Rows that can also be looked for without waiting. Looks are counted with
// the threads that made them; they take a band in when `looksTakeIn`, else
// only tell. A wait holds (a few seconds at most) until some thread has
// looked, so that a second thread that never looks shows.
class LookedFor final : public RowsArriving {
 public:
  LookedFor(const Picture& source, Picture& into, bool looksTakeIn)
      : source_(source), into_(into), looksTakeIn_(looksTakeIn) {
    std::fill(into_.bgrx.begin(), into_.bgrx.end(), 0);
  }
  bool await(std::uint32_t bottom) override {
    std::unique_lock<std::mutex> lock(lock_);
    looked_.wait_for(lock, std::chrono::seconds(5), [this] { return !lookers_.empty(); });
    while (in_ < bottom) takeBand();
    return true;
  }
  std::optional<bool> arrivedYet(std::uint32_t bottom) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (looks_++ == 0) firstLook_ = bottom;
    lookers_.insert(std::this_thread::get_id());
    looked_.notify_all();
    if (looksTakeIn_ && in_ < bottom) takeBand();
    return in_ >= bottom;
  }
  std::pair<int, std::set<std::thread::id>> looks() {
    std::lock_guard<std::mutex> guard(lock_);
    return {looks_, lookers_};
  }
  std::uint32_t firstLook() {
    std::lock_guard<std::mutex> guard(lock_);
    return firstLook_;
  }

 private:
  void takeBand() {
    const std::uint32_t next = std::min(in_ + 16, source_.height);
    std::memcpy(&into_.bgrx[in_ * into_.stride], &source_.bgrx[in_ * source_.stride], (next - in_) * into_.stride);
    in_ = next;
  }

  std::mutex lock_;
  std::condition_variable looked_;
  const Picture& source_;
  Picture& into_;
  const bool looksTakeIn_;
  std::uint32_t in_ = 0;
  int looks_ = 0;
  std::uint32_t firstLook_ = 0;  // the bottom row asked for
  std::set<std::thread::id> lookers_;
};

// The second thread looks for its rows before it sleeps, a bounded number of
// times in a frame; the thread that asked (which sent the reads) only waits.
// While it waits, the first piece is not its own: the looking thread starts
// on it. The file is the same whether looks take rows in or only tell.
TEST(RowJpegEncoder, TheSecondThreadLooksForRowsBeforeItSleeps) {
  const Picture source = picture(200, 33 * 16, 8);
  const auto whole = compressRegion(source.view(), 0, source.height, (200 + 15) / 16);
  for (const bool looksTakeIn : {false, true}) {
    Picture into = source;
    LookedFor rows(source, into, looksTakeIn);
    RowJpegEncoder encoder(0);
    PixelView view = into.view();
    view.arriving = &rows;
    EXPECT_EQ(encoder.encodeJpeg(view), whole) << looksTakeIn;
    const auto [looks, lookers] = rows.looks();
    EXPECT_GT(looks, 0) << looksTakeIn;
    EXPECT_LE(looks, kPollTurns) << looksTakeIn;
    EXPECT_EQ(lookers.size(), 1u) << looksTakeIn;
    EXPECT_EQ(lookers.count(std::this_thread::get_id()), 0u) << looksTakeIn;
    EXPECT_EQ(rows.firstLook(), wholePieces(33).front().count * 16) << looksTakeIn;
  }
}

// Every row once, top first; the first usual piece split so that both threads
// start early, the last ones halving what is left (5K: 180 MCU rows, 1080p: 68, 800 rows: 50).
TEST(WholePieces, CoverThePictureWithASplitStartAndAHalvingEnd) {
  const std::pair<std::uint32_t, std::vector<std::uint32_t>> cases[] = {
      {180, {8, 15, 23, 23, 23, 23, 23, 21, 11, 5, 5}}, {68, {3, 6, 9, 9, 9, 9, 9, 7, 4, 3}},
      {50, {3, 4, 7, 7, 7, 7, 7, 4, 2, 2}}, {9, {1, 1, 2, 2, 2, 1}},
      {1, {1}}, {0, {}}};
  for (const auto& [rows, counts] : cases) {
    std::vector<Piece> expected;
    std::uint32_t first = 0;
    for (auto count : counts) expected.push_back({first, count}), first += count;
    EXPECT_EQ(wholePieces(rows), expected) << rows;
  }
}

// A marker is 0xFF then RST0..RST7, wherever it lies against the blocks the
// search looks through first; 0xFF before a stuffed 0x00, another marker or
// nothing is data.
TEST(RestartMarkerAt, FindsTheFirstMarkerFromWhereItIsAsked) {
  std::string stuffed;
  for (int i = 0; i < 150; ++i) stuffed += std::string("\xFF\x00", 2);
  for (std::size_t at = 0; at + 1 < stuffed.size(); ++at) {
    for (unsigned char second : {0xD0, 0xD7, 0xD8, 0xCF, 0x00}) {
      std::string scan = stuffed;
      scan[at] = '\xFF';
      scan[at + 1] = static_cast<char>(second);
      const bool marker = second >= 0xD0 && second <= 0xD7;
      const auto expected = marker ? at : std::string_view::npos;
      EXPECT_EQ(std::tuple(restartMarkerAt(scan, 0), restartMarkerAt(scan, at), restartMarkerAt(scan, at + 1)),
                std::tuple(expected, expected, std::string_view::npos))
          << at << " " << int(second);
    }
  }
  EXPECT_EQ(restartMarkerAt(stuffed + "\xFF", 0), std::string_view::npos);  // cut after the 0xFF
  EXPECT_EQ(restartMarkerAt("", 0), std::string_view::npos);
}

// Each job has returned, its writes seen, when wait() returns; the one thread
// serves job after job.
TEST(SecondThread, WaitReturnsOnceTheJobHasRun) {
  SecondThread second;
  std::vector<std::thread::id> ran;
  for (int job = 0; job < 3; ++job) {
    ASSERT_TRUE(second.run([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ran.push_back(std::this_thread::get_id());
    }));
    second.wait();
    ASSERT_EQ(ran.size(), job + 1u);
  }
  EXPECT_EQ(std::count(ran.begin(), ran.end(), ran[0]), 3);
  EXPECT_NE(ran[0], std::this_thread::get_id());
}

}  // namespace quorvane::recording::jpeg
