// The frame sink: one request flag, and the handling of every captured frame.
// A complete frame that arrives while the flag is set becomes one frame record
// on standard output; every other frame is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "recording-screen/outcome.h"
#include "recording-screen/platform.h"

namespace quorvane::recording {

inline constexpr std::size_t kMinJpegBytes = 4;
inline constexpr std::size_t kMaxJpegBytes = 8 * 1024 * 1024;
inline constexpr std::size_t kRecordHeaderBytes = 4;

// The length prefix of a frame record: unsigned 32-bit, big-endian.
std::string recordHeader(std::uint32_t length);

class Frames {
 public:
  Frames(Encoder& encoder, Process& process) : encoder_(encoder), process_(process) {}

  // Asks for one frame; any number of requests before the next complete frame
  // count as one. Safe from any thread.
  void request();

  // Called serially for every captured frame.
  Outcome handle(const Sample& sample);

 private:
  static bool answersRequests(const Sample& sample);
  bool takeRequest();
  Outcome writeRecord(const std::string& jpeg);

  Encoder& encoder_;
  Process& process_;
  std::mutex lock_;
  // Set at the start, so the first complete frame is written unasked.
  bool requested_ = true;
};

}  // namespace quorvane::recording
