#include "ocr/reading_plan.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

TEST(StripsTest, OverlapAndOwnEveryRowOnce) {
  const std::uint32_t cases[][4] = {  // height, most rows, overlap, strips
      {100, 100, 10, 1},   {5, 100, 10, 1},     {101, 100, 10, 2},
      {1000, 100, 20, 13}, {1000, 100, 21, 13}, {64000, 32000, 600, 3}};
  for (const auto& [height, maxHeight, overlap, count] : cases) {
    SCOPED_TRACE(testing::Message() << height << " " << overlap);
    auto strips = stripsFor(height, maxHeight, overlap);
    ASSERT_EQ(strips.size(), count);
    EXPECT_EQ(std::make_tuple(strips.front().top, strips.back().bottom, strips.back().ownBottom),
              std::make_tuple(0u, height, height));
    for (std::size_t i = 0; i < strips.size(); ++i) {
      EXPECT_LE(strips[i].bottom - strips[i].top, maxHeight);
      EXPECT_EQ(strips[i].ownTop, i ? strips[i - 1].ownBottom : 0u) << "owned bands tile the image";
      if (i + 1 < strips.size()) { EXPECT_EQ(strips[i + 1].top + overlap, strips[i].bottom); }
    }
    // A line up to half the overlap tall belongs to one strip, which holds it whole.
    const std::uint32_t tall = overlap / 2;
    for (std::uint32_t top = 0; top + tall <= height; top += 7) {
      auto owns = [&](const Strip& s) { return stripOwnsLine(s, top, top + tall); };
      auto owner = std::find_if(strips.begin(), strips.end(), owns);
      ASSERT_EQ(std::count_if(strips.begin(), strips.end(), owns), 1) << top;
      EXPECT_LE(owner->top, top);
      EXPECT_LE(top + tall, owner->bottom) << top;
    }
  }
}

TEST(SplitLinesTest, JoinsPiecesOfOneRowCloseTogether) {
  const std::tuple<const char*, std::vector<PixelBox>, std::vector<std::vector<std::size_t>>> cases[] = {
      {"a CJK line cut at a wide gap", {{60, 10, 150, 30}, {10, 10, 55, 30}}, {{1, 0}}},
      {"three pieces", {{10, 10, 50, 30}, {60, 10, 90, 30}, {95, 11, 140, 29}}, {{0, 1, 2}}},
      {"two rows of two", {{10, 10, 50, 30}, {10, 50, 50, 70}, {55, 10, 90, 30}, {55, 50, 90, 70}}, {{0, 2}, {1, 3}}},
      {"a button and its neighbour", {{10, 10, 100, 30}, {125, 10, 180, 30}}, {}},
      {"lines above each other", {{10, 10, 100, 30}, {10, 32, 100, 52}}, {}},
      {"a heading beside small text", {{10, 10, 100, 40}, {105, 20, 150, 35}}, {}},
      {"half a row apart", {{10, 10, 100, 30}, {105, 21, 200, 41}}, {}},
      {"empty", {{10, 10, 50, 10}, {52, 10, 60, 10}}, {}}};
  for (const auto& [what, boxes, groups] : cases) EXPECT_EQ(splitLines(boxes), groups) << what;
}

TEST(ReachOverInkTest, GrowsOverGlyphsLeftOutBesideTheLine) {
  // A line 10 high: glyphs within 6 of its ends and 5 above or below its rows are its own.
  const PixelBox line{100, 10, 160, 20};
  const std::tuple<const char*, std::vector<PixelBox>, PixelBox> cases[] = {
      {"its own glyphs only", {{100, 10, 110, 20}, {150, 12, 160, 20}}, line},
      {"a thin glyph left out, and the piece beyond it", {{162, 9, 164, 20}, {168, 12, 190, 20}}, {100, 9, 190, 20}},
      {"leftwards, one after another", {{80, 10, 86, 20}, {90, 12, 95, 22}}, {80, 10, 160, 22}},
      {"exactly the gap away", {{166, 10, 170, 20}}, {100, 10, 170, 20}},
      {"beyond the gap", {{167, 10, 180, 20}, {40, 10, 93, 20}}, line},
      {"only through a glyph between", {{175, 10, 180, 20}}, line},
      {"ascenders and descenders within reach", {{161, 5, 165, 20}, {95, 10, 99, 25}}, {95, 5, 165, 25}},
      {"a panel edge reaching past the line", {{161, 4, 162, 20}, {97, 10, 98, 26}}, line},
      {"on the row above", {{161, 5, 170, 10}}, line},
      {"out of order", {{175, 10, 180, 20}, {161, 10, 170, 20}}, {100, 10, 180, 20}}};
  for (const auto& [what, ink, grown] : cases) {
    const PixelBox got = reachOverInk(line, ink);
    EXPECT_EQ(std::make_tuple(got.left, got.top, got.right, got.bottom),
              std::make_tuple(grown.left, grown.top, grown.right, grown.bottom)) << what;
  }
  const PixelBox flat{100, 10, 160, 10};
  EXPECT_EQ(reachOverInk(flat, {{160, 10, 170, 10}}).right, 160) << "a line without height reaches nothing";
}

TEST(EchoTest, ASliverAtTheNextGlyphsLeftEdgeIsAnEcho) {
  const PixelBox one{561, 211, 567, 220};
  const std::tuple<const char*, PixelBox, PixelBox, bool> cases[] = {
      {"a pixel wide inside the next glyph", {561, 211, 562, 220}, one, true},
      {"two pixels at a height of ten", {563, 211, 565, 220}, one, true},
      {"three pixels is a glyph", {561, 211, 564, 220}, one, false},
      {"a real 1 before another", one, {569, 211, 575, 220}, false},
      {"left of the next glyph", {560, 211, 561, 220}, one, false},
      {"past its right edge", {566, 211, 568, 220}, one, false}};
  for (const auto& [what, first, second, echo] : cases) EXPECT_EQ(echoOfNextGlyph(first, second, 10), echo) << what;
}

TEST(ReadingChoiceTest, MostConfidentWinsAndOrderBreaksNearTies) {
  const std::tuple<const char*, std::vector<Reading>, std::size_t> cases[] = {
      {"none", {}, 0},
      {"garbage first, the right language later", {{"SIEM", 0.25f}, {"SRB", 0.3f}, {"复制到剪贴板", 0.9f}}, 2},
      {"a near tie keeps the earlier", {{"Open", 0.82f}, {"0pen", 0.86f}}, 0},
      {"clearly better later", {{"Open", 0.8f}, {"0pen", 0.86f}}, 1},
      {"no text never wins", {{"", 0.0f}, {"", 0.99f}, {"x", 0.1f}}, 2}, {"empty first", {{"", 0.9f}, {"y", 0.2f}}, 1}};
  for (const auto& [what, readings, best] : cases) EXPECT_EQ(bestReading(readings), best) << what;
}

TEST(ReadingChoiceTest, StopsAtTheFirstSettledReading) {
  const std::tuple<std::vector<Reading>, std::size_t, std::string> cases[] = {
      {{}, 0, ""}, {{{"a", 0.3f}}, 1, "a"}, {{{"a", 0.3f}, {"b", 0.81f}, {"c", 0.99f}}, 2, "b"},
      {{{"", 1.0f}, {"z", 0.1f}}, 2, "z"}};  // settled takes text as well
  for (const auto& [offered, expectedAsks, text] : cases) {
    std::size_t asked = 0;
    Reading r = settleReading(offered.size(), [&](std::size_t i) { ++asked; return offered[i]; });
    EXPECT_EQ(asked, expectedAsks) << text;
    EXPECT_EQ(r.text, text);
  }
}

TEST(ReadingChoiceTest, BesideTheNetworksOnlyJoinedLinesAreReadAgain) {
  // confidence, joined, beside the networks -> read again
  const std::tuple<float, bool, bool, bool> cases[] = {
      {0.49f, false, false, true}, {0.5f, false, false, false}, {0.9f, true, false, true},
      {0.49f, false, true, false}, {0.1f, true, true, true},    {0.9f, false, true, false}};
  for (const auto& [confidence, joined, beside, again] : cases) {
    EXPECT_EQ(worthReadingAgain(confidence, joined, beside), again) << confidence << " " << joined << " " << beside;
  }
}

TEST(ReadingChoiceTest, LatinLanguagesSkipLinesReadAsCjkAndSpecksAreNotReadAgain) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"eng", "錄製時顯示滑蝦點擊和按鍵", false}, {"eng", "SIEM", true},      {"eng", "Ctrl+A 开始", true},
      {"fra", "按下快捷键 Ctrl 开始截图", false}, {"chi_tra", "錄製時", true}, {"kor", "Sent items", true},
      {"eng", "かな カナ", false},                  {"eng", "한국어", false},      {"eng", "", true}};
  for (const auto& [language, reading, worth] : cases) EXPECT_EQ(worthReadingWith(language, reading), worth) << reading;
  EXPECT_EQ(std::make_pair(worthReadingAlone({10, 10, 29, 20}), worthReadingAlone({10, 10, 30, 20})),
            std::make_pair(false, true))
      << "two glyphs or more";
}

std::vector<std::string> texts(const std::vector<ReadLine>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(line.reading.text);
  return out;
}

TEST(MergeReadingsTest, NeuralLinesWinUnlessTheEngineReadsTheirRowBetter) {
  using Lines = std::vector<ReadLine>;
  const PixelBox row{10, 10, 300, 30}, left{10, 10, 140, 30}, right{160, 12, 300, 29}, below{10, 60, 300, 80};
  const std::tuple<const char*, Lines, Lines, std::vector<std::string>> cases[] = {
      {"Chinese beats the engine's guess", {{row, {"按下快捷键 Ctrl", 0.9f}}}, {{row, {"SIEM Ctrl", 0.9f}}},
       {"按下快捷键 Ctrl"}},
      {"confident Latin from the engine keeps its blanks", {{row, {"Releasenotes", 0.95f}}},
       {{left, {"Release", 0.9f}}, {right, {"notes", 0.85f}}}, {"Release", "notes"}},
      {"unless one piece is unsure", {{row, {"Releasenotes", 0.95f}}},
       {{left, {"Release", 0.9f}}, {right, {"n0tes", 0.3f}}}, {"Releasenotes"}},
      {"kana only the engine knows", {{row, {"设定", 0.6f}}}, {{row, {"設定する", 0.7f}}}, {"設定する"}},
      {"another row is no rival", {{row, {"中文", 0.9f}}}, {{below, {"Open the file", 0.9f}}},
       {"中文", "Open the file"}},
      {"lone specks from the engine go", {{row, {"中文", 0.9f}}}, {{below, {"vr", 0.86f}}, {below, {"a b", 0.5f}}},
       {"中文"}},
      {"no engine lines", {{row, {"Latin", 0.9f}}}, {}, {"Latin"}}};
  for (const auto& [what, neural, engine, merged] : cases) {
    EXPECT_EQ(texts(mergeReadings(neural, engine)), merged) << what;
  }
}

TEST(SettledByEngineTest, OnlyLinesTheEngineReadWholeAndBeyondDoubtAreLeftUnread) {
  using Lines = std::vector<ReadLine>;
  // A found line 20 high: ground of 8 at its ends and between words the engine leaves out.
  const PixelBox found{100, 10, 400, 30}, whole{106, 12, 394, 29}, left{106, 12, 240, 29}, right{246, 12, 394, 29};
  const std::tuple<const char*, Lines, bool> cases[] = {
      {"confident Latin spanning the line", {{whole, {"Open the file", 0.9f}}}, true},
      {"pieces that meet span it", {{left, {"Noah", 0.9f}}, {right, {"Williams", 0.9f}}}, true},
      {"a piece left out", {{left, {"Noah", 0.9f}}}, false},
      {"a gap between the pieces", {{left, {"Noah", 0.9f}}, {{300, 12, 394, 29}, {"Williams", 0.9f}}}, false},
      {"unsure Latin", {{whole, {"Open the file", 0.7f}}}, false},
      {"a short run that may be a CJK word read as letters", {{whole, {"RF", 0.95f}}}, false},
      {"CJK the networks read better", {{whole, {"打开文件", 0.95f}}}, false},
      {"kana the networks cannot read", {{whole, {"設定する", 0.5f}}}, true},
      {"a line on another row", {{{106, 60, 394, 79}, {"Open the file", 0.9f}}}, false},
      {"no engine lines", {}, false}};
  for (const auto& [what, engine, settled] : cases) EXPECT_EQ(settledByEngine(found, engine), settled) << what;
}

TEST(MergeReadingsTest, ObservationsAreNormalisedFromTheBottomLeft) {
  const auto observations = observationsOf({{{250, 100, 750, 200}, {"x", 0.5f}}}, 1000, 400);
  ASSERT_EQ(observations.size(), 1u);
  const NormalizedBox& b = observations[0].box;
  EXPECT_EQ(std::make_tuple(b.x, b.y, b.width, b.height, observations[0].top->text),
            std::make_tuple(0.25, 0.5, 0.5, 0.25, "x"));
}

}  // namespace
}  // namespace quorvane::ocr
