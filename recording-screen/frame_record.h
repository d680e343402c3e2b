// The frame record, the only thing on the streamer's standard output: 4 bytes
// of length N (unsigned, big-endian), then N bytes of JPEG, 4 <= N <= 8 MiB;
// records follow each other with nothing between them. The streamer writes
// it, the splitting tool, the tests and the benchmark read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::recording {

inline constexpr std::size_t kRecordHeaderBytes = 4;
inline constexpr std::uint32_t kMinJpegBytes = 4;
inline constexpr std::uint32_t kMaxJpegBytes = 8 * 1024 * 1024;

// The length prefix of a record.
std::string recordHeader(std::uint32_t length);
// The length a record header declares; `header` holds at least 4 bytes.
std::uint32_t recordLength(std::string_view header);
bool validRecordLength(std::uint32_t length);

// Reads a record stream fed in pieces. A length outside the limits breaks the
// stream before anything is buffered for it.
class RecordReader {
 public:
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
