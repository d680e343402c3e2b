// Reading a frame-record stream: a 4-byte big-endian length, then that many
// bytes of JPEG, again and again. A length outside 4..8 MiB is refused before
// anything is buffered for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::recording {

class RecordReader {
 public:
  static constexpr std::uint32_t kMinLength = 4;
  static constexpr std::uint32_t kMaxLength = 8 * 1024 * 1024;

  void feed(std::string_view bytes);
  // The next complete record's JPEG data, or nullopt when none is complete
  // (or the stream is broken).
  std::optional<std::string> next();
  // The bad length that broke the stream, if any; nothing is read after it.
  std::optional<std::uint32_t> badLength() const { return badLength_; }
  // Bytes held for an unfinished record (at end of stream: a truncated record).
  std::size_t pending() const { return buffer_.size() - offset_; }

 private:
  std::string buffer_;
  std::size_t offset_ = 0;
  std::optional<std::uint32_t> badLength_;
};

}  // namespace quorvane::recording
