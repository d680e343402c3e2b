#include "recording-screen/frame_record.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
// A stream of records cut at every byte comes out whole; a length outside the
// limits breaks it before anything is buffered for it.
TEST(RecordReader, ReadsRecordsFedInPiecesAndRefusesBadLengths) {
  EXPECT_EQ(recordHeader(0x0180E240), std::string("\x01\x80\xE2\x40", 4));  // big-endian
  const std::pair<std::uint32_t, std::optional<std::uint32_t>> cases[] = {
      {4, std::nullopt}, {3, 3u}, {0, 0u}, {8388609, 8388609u}, {0xFFFFFFFF, 0xFFFFFFFFu}};
  for (const auto& [length, bad] : cases) {
    RecordReader reader;
    std::vector<std::string> got;
    for (char byte : recordHeader(5) + "aaaaa" + recordHeader(length) + "bbbb") {
      reader.feed(std::string_view(&byte, 1));
      while (auto jpeg = reader.next()) got.push_back(*jpeg);
    }
    EXPECT_EQ(got, (bad ? std::vector<std::string>{"aaaaa"} : std::vector<std::string>{"aaaaa", "bbbb"})) << length;
    EXPECT_EQ(reader.badLength(), bad);
    EXPECT_EQ(reader.pending(), bad ? 4u : 0u) << length;  // only the bad header
  }
  RecordReader largest;  // waits for its data
  largest.feed(recordHeader(kMaxJpegBytes));
  EXPECT_FALSE(largest.next() || largest.badLength());
}

}  // namespace quorvane::recording
