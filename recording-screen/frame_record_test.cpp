#include "recording-screen/frame_record.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

std::string bytes(std::initializer_list<unsigned> values) {
  std::string s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(RecordHeader, IsTheLengthBigEndian) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {123456, bytes({0x00, 0x01, 0xE2, 0x40})},
      {8388608, bytes({0x00, 0x80, 0x00, 0x00})},
      {0xFFFFFFFF, bytes({0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const auto& [length, expected] : cases) {
    EXPECT_EQ(recordHeader(length), expected) << length;
    EXPECT_EQ(recordLength(expected), length) << length;
  }
}

// How records are cut from a stream is the fuzz target's model; here, the limits.
TEST(RecordReader, RefusesLengthsOutsideTheLimitsBeforeBuffering) {
  const std::pair<std::string, std::optional<std::uint32_t>> cases[] = {
      {std::string("\0\0\0\3abc", 7), 3u},
      {std::string("\0\0\0\0", 4), 0u},
      {std::string("\0\x80\0\1", 4), 8388609u},
      {std::string("\xff\xff\xff\xff", 4), 0xFFFFFFFFu},
      {std::string("\0\x80\0\0", 4), std::nullopt},  // the largest allowed: waits for its data
  };
  for (const auto& [bytes, bad] : cases) {
    RecordReader reader;
    reader.feed(bytes);
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.badLength(), bad);
  }
}

}  // namespace
}  // namespace quorvane::recording
