#include "input/command_lines.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

TEST(LineReaderTest, CutsLinesWhereverTheReadsSplitThem) {
  using L = std::vector<std::string>;
  const std::string longLine(LineReader::kMaxLine + 10, 's'), exact(LineReader::kMaxLine, 'x');
  const std::string cut = longLine.substr(0, exact.size());
  const struct { L reads, lines; } cases[] = {
      {{"step\nstep\r\n\nstop\r\r\nlast"}, {"step", "step", "", "stop\r", "last"}},
      {{"st", "ep", "\r", "\nsto", "p\n"}, {"step", "stop"}}, {{longLine, "\nstep\n"}, {cut, "step"}},
      {{exact, "\n", "step"}, {exact, "step"}}, {{longLine}, {cut}}, {{""}, {}},
  };
  for (const auto& c : cases) {
    LineReader r;
    for (const auto& bytes : c.reads) r.feed(bytes);
    r.end();
    L lines;
    while (auto line = r.take()) lines.push_back(*line);
    EXPECT_EQ(lines, c.lines);
  }
}

}  // namespace
}  // namespace quorvane::input
