#include "recording-screen/frame_record.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

TEST(RecordHeader, IsTheLengthBigEndian) {
  const std::uint32_t length = 0x0180E240;
  EXPECT_EQ(recordHeader(length), std::string("\x01\x80\xE2\x40", 4));
  EXPECT_EQ(recordLength(recordHeader(length)), length);
}

// A stream of records cut at every byte comes out whole; a length outside the
// limits breaks it before anything is buffered for it.
TEST(RecordReader, ReadsRecordsFedInPiecesAndRefusesBadLengths) {
  const std::pair<std::uint32_t, std::optional<std::uint32_t>> cases[] = {
      {4, std::nullopt}, {3, 3u}, {0, 0u}, {8388609, 8388609u}, {0xFFFFFFFF, 0xFFFFFFFFu}};
  const std::string first(5, 'a'), second(4, 'b');
  for (const auto& [length, bad] : cases) {
    SCOPED_TRACE(length);
    const std::string stream = recordHeader(5) + first + recordHeader(length) + second;
    RecordReader reader;
    std::vector<std::string> got;
    for (char byte : stream) {
      reader.feed(std::string_view(&byte, 1));
      while (auto jpeg = reader.next()) got.push_back(*jpeg);
    }
    EXPECT_EQ(got, (bad ? std::vector<std::string>{first} : std::vector<std::string>{first, second}));
    EXPECT_EQ(reader.badLength(), bad);
    EXPECT_EQ(reader.pending(), bad ? 4u : 0u);  // only the bad header
  }
  RecordReader largest;  // waits for its data
  largest.feed(recordHeader(kMaxJpegBytes));
  EXPECT_FALSE(largest.next());
  EXPECT_EQ(largest.badLength(), std::nullopt);
}

}  // namespace
}  // namespace quorvane::recording
