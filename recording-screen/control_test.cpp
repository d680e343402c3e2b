#include "recording-screen/control.h"

#include <gtest/gtest.h>

namespace quorvane::recording {
namespace {

TEST(ParseCommand, IsExactAndCaseSensitive) {
  const std::pair<std::string, Command> cases[] = {
      {"frame", Command::frame}, {"stop", Command::stop},      {"", Command::invalid},
      {"frame ", Command::invalid}, {" frame", Command::invalid}, {"FRAME", Command::invalid},
      {"Stop", Command::invalid},   {"frame\r", Command::invalid}, {"frames", Command::invalid},
      {std::string("frame\0", 6), Command::invalid},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(parseCommand(line), expected) << "[" << line << "]";
}

std::vector<std::string> allLines(ControlLines& lines) {
  std::vector<std::string> out;
  while (auto line = lines.next()) out.push_back(*line);
  return out;
}

TEST(ControlLines, CutsAtLineFeedsAndDropsOnlyAPrecedingCarriageReturn) {
  struct Case {
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
    std::optional<std::string> rest;
  };
  const Case cases[] = {
      {{"frame\n"}, {"frame"}, std::nullopt},
      {{"frame\r\n"}, {"frame"}, std::nullopt},
      {{"frame\r\r\n"}, {"frame\r"}, std::nullopt},
      {{"fr", "ame\nst", "op"}, {"frame"}, "stop"},
      {{"\n\n"}, {"", ""}, std::nullopt},
      {{"frame \n"}, {"frame "}, std::nullopt},
      {{"frame\r"}, {}, "frame\r"},
      {{"a\nb\r\nc"}, {"a", "b"}, "c"},
  };
  for (const auto& c : cases) {
    ControlLines lines;
    std::vector<std::string> got;
    for (const auto& chunk : c.chunks) {
      lines.feed(chunk);
      auto more = allLines(lines);
      got.insert(got.end(), more.begin(), more.end());
    }
    EXPECT_EQ(got, c.lines) << c.chunks.front();
    EXPECT_EQ(lines.rest(), c.rest) << c.chunks.front();
  }
}

TEST(ControlLines, NoticesAnUnfinishedLineTooLongToBeACommand) {
  ControlLines lines;
  lines.feed(std::string(kMaxControlLine, 'x'));
  EXPECT_FALSE(lines.overlong());
  lines.feed("y");
  EXPECT_TRUE(lines.overlong());

  // Many short complete lines are fine once they are taken.
  ControlLines many;
  std::string burst;
  for (int i = 0; i < 100; ++i) burst += "frame\n";
  many.feed(burst);
  EXPECT_EQ(allLines(many).size(), 100u);
  EXPECT_FALSE(many.overlong());
}

TEST(ControlReader, CountsFramesAndEndsAtTheFirstLineThatEndsReading) {
  using End = ControlReader::End;
  struct Case {
    std::vector<std::string> chunks;  // then end of input, unless reading ended before
    int frames;
    End end;
  };
  const Case cases[] = {
      {{"frame\nframe\r\n", "fra", "me"}, 3, End::endOfInput},
      {{"frame\nstop\nframe\nbogus\n"}, 1, End::stop},     // nothing after stop is looked at
      {{"frame\n\nframe\n"}, 1, End::invalid},               // the empty line
      {{"frame\r", "\n"}, 1, End::endOfInput},                // CR and LF in different reads
      {{"frame\r"}, 0, End::invalid},                          // a CR not before a LF is part of the line
      {{std::string("fr\0me\n", 6)}, 0, End::invalid},
      {{"stop"}, 0, End::stop},                                 // the last line needs no line feed
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
    EXPECT_EQ(frames, c.frames) << (c.chunks.empty() ? "" : c.chunks.front());
    EXPECT_EQ(end, c.end) << (c.chunks.empty() ? "" : c.chunks.front());
  }
}

}  // namespace
}  // namespace quorvane::recording
