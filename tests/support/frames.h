// The screen streamer's records as end-to-end tests read them: each one's
// JPEG decoded to RGB.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/process.h"

namespace quorvane::test {

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  std::uint32_t at(int x, int y) const;  // 0xRRGGBB
};

// The next record, decoded; nullopt when none comes whole. `read` gives exactly
// n bytes or nullopt.
std::optional<Picture> readPicture(const std::function<std::optional<std::string>(std::size_t)>& read);
std::optional<Picture> readPicture(Child& streamer, milliseconds timeout = std::chrono::seconds(20));
std::optional<Picture> readPicture(int fd);

// Records read whole into a buffer kept from one to the next, as an
// application keeps one: a benchmark that took each record as a fresh string
// timed its own page faults (about 7 ms per 5K record) as the streamer's delay.
class RecordReader {
 public:
  explicit RecordReader(Child& streamer) : streamer_(streamer) {}
  // The next record's JPEG size; 0 when none starts within `wait`. A record
  // that starts but is cut short throws.
  std::size_t next(milliseconds wait);
  std::string_view jpeg() const { return {buffer_.data(), size_}; }

 private:
  Child& streamer_;
  std::vector<char> buffer_;
  std::size_t size_ = 0;
};

// Channel by channel within `tolerance` levels: flat colours come back from
// JPEG a few levels off.
bool near(std::uint32_t got, std::uint32_t want, int tolerance);

}  // namespace quorvane::test
