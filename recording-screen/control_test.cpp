#include "recording-screen/control.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
// Lines, their ends and the commands, through the reader the streamer uses;
// the chunks are followed by the end of input unless reading ended before.
TEST(ControlReader, CountsFramesAndEndsAtTheFirstLineThatEndsReading) {
  using End = ControlReader::End;
  const std::tuple<std::vector<std::string>, int, End> cases[] = {
      {{"frame\nframe\r\n", "fra", "me"}, 3, End::endOfInput},  // a last line needs no line feed
      {{"frame\nstop\nframe\nbogus\n"}, 1, End::stop},          // nothing after stop is looked at
      {{"stop"}, 0, End::stop},
      {{"frame\n\nframe\n"}, 1, End::invalid},  // the empty line
      {{"frame\r", "\n"}, 1, End::endOfInput},  // CR and LF in different reads
      {{"frame\r"}, 0, End::invalid},           // a CR not before a LF is part of the line
      {{"frame\r\r\n"}, 0, End::invalid},       // only one CR goes with the LF
      {{" frame\n"}, 0, End::invalid},         {{"Stop\n"}, 0, End::invalid},       {{"frames\n"}, 0, End::invalid},
      {{}, 0, End::endOfInput},
  };
  for (const auto& [chunks, frames, end] : cases) {
    ControlReader reader;
    int seen = 0;
    auto frame = [&] { ++seen; };
    End got = End::none;
    for (std::size_t i = 0; i < chunks.size() && got == End::none; ++i) got = reader.feed(chunks[i], frame);
    if (got == End::none) got = reader.finish(frame);
    EXPECT_EQ(std::make_pair(seen, got), std::make_pair(frames, end)) << testing::PrintToString(chunks);
  }
  // At most one unfinished line is held, and only while it could still be a command.
  ControlReader reader;
  EXPECT_EQ(reader.feed("frame\n" + std::string(kMaxControlLine, 'x'), [] {}), End::none);
  EXPECT_EQ(reader.held(), kMaxControlLine);
  EXPECT_EQ(reader.feed("y", [] {}), End::invalid);
}

}  // namespace quorvane::recording
