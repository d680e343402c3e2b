#include "recording-screen/frames.h"

#include "recording-screen/frame_record.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {

void Frames::request() {
  std::lock_guard<std::mutex> guard(lock_);
  requested_ = true;
}

bool Frames::answersRequests(const Sample& sample) {
  return sample.valid && sample.status == kFrameComplete && sample.image != nullptr;
}

bool Frames::takeRequest() {
  std::lock_guard<std::mutex> guard(lock_);
  bool was = requested_;
  requested_ = false;
  return was;
}

Outcome Frames::handle(const Sample& sample) {
  // Frames that cannot answer leave a pending request for the next one.
  if (!answersRequests(sample) || !takeRequest()) return std::nullopt;
  // The lock is not held from here on: encoding is the slow part.
  auto pixels = sample.image->pixels();
  if (!pixels) return failure(texts::kEncodeFailed);
  auto jpeg = encoder_.encodeJpegParts(*pixels);
  if (!jpeg) return failure(texts::kEncodeFailed);
  std::size_t size = 0;
  for (auto part : *jpeg) size += part.size();
  if (size > kMaxJpegBytes || !validRecordLength(static_cast<std::uint32_t>(size))) return failure(texts::kEncodeFailed);
  return writeRecord(*jpeg, static_cast<std::uint32_t>(size));
}

Outcome Frames::writeRecord(const std::vector<std::string_view>& jpeg, std::uint32_t size) {
  const std::string header = recordHeader(size);
  std::vector<std::string_view> parts{header};
  parts.insert(parts.end(), jpeg.begin(), jpeg.end());
  if (auto error = output_.write(parts)) return failure(texts::kWriteFailed + *error);
  return std::nullopt;
}

}  // namespace quorvane::recording
