#include "recording-screen/frame_record.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

std::string bytes(std::initializer_list<unsigned> values) {
  std::string s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string record(const std::string& jpeg) { return recordHeader(static_cast<std::uint32_t>(jpeg.size())) + jpeg; }

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

TEST(RecordReader, SplitsRecordsWhateverTheChunking) {
  std::string stream = record("abcd") + record(std::string(70000, 'x')) + record("\xff\xd8\xff\xd9");
  for (std::size_t chunk : {1u, 3u, 4u, 5u, 4096u, 1000000u}) {
    RecordReader reader;
    std::vector<std::string> got;
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
      reader.feed(std::string_view(stream).substr(i, chunk));
      while (auto r = reader.next()) got.push_back(*r);
    }
    ASSERT_EQ(got.size(), 3u) << chunk;
    EXPECT_EQ(got[0], "abcd");
    EXPECT_EQ(got[1].size(), 70000u);
    EXPECT_EQ(got[2], "\xff\xd8\xff\xd9");
    EXPECT_EQ(reader.pending(), 0u);
    EXPECT_FALSE(reader.badLength());
  }
}

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

TEST(RecordReader, ReportsATruncatedLastRecord) {
  RecordReader reader;
  reader.feed(record("abcdef").substr(0, 7));
  EXPECT_FALSE(reader.next());
  EXPECT_EQ(reader.pending(), 7u);
}

}  // namespace
}  // namespace quorvane::recording
