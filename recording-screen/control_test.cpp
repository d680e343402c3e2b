#include "recording-screen/control.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

// Lines, their ends and the commands, through the reader the streamer uses.
TEST(ControlReader, CountsFramesAndEndsAtTheFirstLineThatEndsReading) {
  using End = ControlReader::End;
  struct Case {
    std::vector<std::string> chunks;  // then end of input, unless reading ended before
    int frames;
    End end;
  };
  const Case cases[] = {
      {{"frame\nframe\r\n", "fra", "me"}, 3, End::endOfInput},  // a last line needs no line feed
      {{"frame\nstop\nframe\nbogus\n"}, 1, End::stop},          // nothing after stop is looked at
      {{"stop"}, 0, End::stop},
      {{"frame\n\nframe\n"}, 1, End::invalid},  // the empty line
      {{"frame\r", "\n"}, 1, End::endOfInput},  // CR and LF in different reads
      {{"frame\r"}, 0, End::invalid},           // a CR not before a LF is part of the line
      {{"frame\r\r\n"}, 0, End::invalid},       // only one CR goes with the LF
      {{" frame\n"}, 0, End::invalid},
      {{"Stop\n"}, 0, End::invalid},
      {{"frames\n"}, 0, End::invalid},
      {{std::string("frame\0\n", 7)}, 0, End::invalid},
      {{"frame\n", std::string(kMaxControlLine + 1, 'f')}, 1, End::invalid},  // refused before its line feed
      {{}, 0, End::endOfInput},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chunks));
    ControlReader reader;
    int frames = 0;
    auto frame = [&] { ++frames; };
    End end = End::none;
    for (const auto& chunk : c.chunks) {
      if ((end = reader.feed(chunk, frame)) != End::none) break;
    }
    if (end == End::none) end = reader.finish(frame);
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(end, c.end);
  }
}

TEST(ControlReader, HoldsAtMostOneShortUnfinishedLine) {
  ControlReader reader;
  EXPECT_EQ(reader.feed("frame\nframe\n" + std::string(kMaxControlLine, 'x'), [] {}), ControlReader::End::none);
  EXPECT_EQ(reader.held(), kMaxControlLine);
  EXPECT_EQ(reader.feed("y", [] {}), ControlReader::End::invalid);
}

}  // namespace
}  // namespace quorvane::recording
