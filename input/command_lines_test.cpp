#include "input/command_lines.h"

#include <gtest/gtest.h>
#include <vector>

namespace quorvane::input {
namespace {

std::vector<std::string> linesOf(std::initializer_list<std::string_view> reads) {
  LineReader r;
  for (auto bytes : reads) r.feed(bytes);
  r.end();
  std::vector<std::string> out;
  while (auto line = r.take()) out.push_back(*line);
  return out;
}

TEST(LineReaderTest, CutsLinesWhereverTheReadsSplitThem) {
  using L = std::vector<std::string>;
  const std::string longLine(LineReader::kMaxLine + 10, 's');
  const std::string exact(LineReader::kMaxLine, 'x');
  EXPECT_EQ(linesOf({"step\nstep\r\n\nstop\r\r\nlast"}), (L{"step", "step", "", "stop\r", "last"}));
  EXPECT_EQ(linesOf({"st", "ep", "\r", "\nsto", "p\n"}), (L{"step", "stop"}));
  EXPECT_EQ(linesOf({longLine, "\nstep\n"}), (L{longLine.substr(0, LineReader::kMaxLine), "step"}));
  EXPECT_EQ(linesOf({exact, "\n", "step"}), (L{exact, "step"}));
  EXPECT_EQ(linesOf({longLine}), (L{longLine.substr(0, LineReader::kMaxLine)}));
  EXPECT_EQ(linesOf({""}), L{});
}

}  // namespace
}  // namespace quorvane::input
