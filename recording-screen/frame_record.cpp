#include "recording-screen/frame_record.h"

namespace quorvane::recording {

std::string recordHeader(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
          static_cast<char>(length)};
}

std::uint32_t recordLength(std::string_view header) {
  const auto* p = reinterpret_cast<const unsigned char*>(header.data());
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool validRecordLength(std::uint32_t length) { return length >= kMinJpegBytes && length <= kMaxJpegBytes; }

void RecordReader::feed(std::string_view bytes) {
  if (badLength_) return;
  // Drop what was already handed out before growing.
  if (offset_ > 0) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  buffer_.append(bytes);
}

std::optional<std::string> RecordReader::next() {
  if (badLength_ || pending() < kRecordHeaderBytes) return std::nullopt;
  std::uint32_t length = recordLength(std::string_view(buffer_).substr(offset_));
  if (!validRecordLength(length)) {
    badLength_ = length;
    return std::nullopt;
  }
  if (pending() - kRecordHeaderBytes < length) return std::nullopt;
  std::string jpeg = buffer_.substr(offset_ + kRecordHeaderBytes, length);
  offset_ += kRecordHeaderBytes + std::size_t{length};
  return jpeg;
}

}  // namespace quorvane::recording
