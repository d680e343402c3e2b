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
      {{"frame \n"}, 0, End::invalid},
      {{" frame\n"}, 0, End::invalid},
      {{"FRAME\n"}, 0, End::invalid},
      {{"Stop\n"}, 0, End::invalid},
      {{"frames\n"}, 0, End::invalid},
      {{std::string("frame\0\n", 7)}, 0, End::invalid},
      {{"frame\n", std::string(kMaxControlLine, 'f')}, 1, End::invalid},  // at end of input
      {{"frame\n", std::string(kMaxControlLine + 1, 'f')}, 1, End::invalid},  // refused before its line feed
      {{"frame\nstop\n" + std::string(5000, 'x')}, 1, End::stop},
      {{}, 0, End::endOfInput},
  };
  for (const auto& c : cases) {
    ControlReader reader;
    int frames = 0;
    auto frame = [&] { ++frames; };
    End end = End::none;
    for (const auto& chunk : c.chunks) {
      end = reader.feed(chunk, frame);
      if (end != End::none) break;
    }
    if (end == End::none) end = reader.finish(frame);
    const std::string shown = c.chunks.empty() ? "" : c.chunks.front().substr(0, 20);
    EXPECT_EQ(frames, c.frames) << shown;
    EXPECT_EQ(end, c.end) << shown;
  }
}

TEST(ControlReader, HoldsAtMostOneShortUnfinishedLine) {
  ControlReader reader;
  auto frame = [] {};
  EXPECT_EQ(reader.feed(std::string(kMaxControlLine, 'x'), frame), ControlReader::End::none);
  EXPECT_EQ(reader.held(), kMaxControlLine);
  EXPECT_EQ(reader.feed("y", frame), ControlReader::End::invalid);
  ControlReader many;
  std::string burst;
  for (int i = 0; i < 100; ++i) burst += "frame\n";
  EXPECT_EQ(many.feed(burst, frame), ControlReader::End::none);
  EXPECT_EQ(many.held(), 0u);
}

}  // namespace
}  // namespace quorvane::recording
