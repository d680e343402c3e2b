#include "ocr/reading_plan.h"

#include <gtest/gtest.h>

namespace quorvane::ocr {
namespace {

TEST(StripsTest, FitOrOverlapAndOwnEveryRowOnce) {
  struct Case {
    std::uint32_t height, maxHeight, overlap;
    std::size_t strips;
  };
  const Case cases[] = {{100, 100, 10, 1}, {101, 100, 10, 2}, {1000, 100, 20, 13}, {64000, 32000, 600, 3}, {5, 100, 10, 1}};
  for (const auto& c : cases) {
    auto strips = stripsFor(c.height, c.maxHeight, c.overlap);
    ASSERT_EQ(strips.size(), c.strips) << c.height;
    EXPECT_EQ(strips.front().top, 0u);
    EXPECT_EQ(strips.back().bottom, c.height);
    std::uint32_t owned = 0;
    for (std::size_t i = 0; i < strips.size(); ++i) {
      const Strip& s = strips[i];
      EXPECT_LE(s.bottom - s.top, c.maxHeight);
      EXPECT_EQ(s.ownTop, owned) << "owned bands must tile the image";
      owned = s.ownBottom;
      // A line up to half the overlap tall, centred in the owned band, lies whole in the strip.
      if (i + 1 < strips.size()) {
        EXPECT_EQ(strips[i + 1].top + c.overlap, s.bottom);
        EXPECT_GE(s.bottom - s.ownBottom, c.overlap / 2);
      }
      if (i > 0) {
        EXPECT_GE(s.ownTop - s.top, c.overlap / 2);
      }
    }
    EXPECT_EQ(owned, c.height);
  }
}

TEST(StripsTest, EachLineBelongsToExactlyOneStrip) {
  auto strips = stripsFor(10000, 3000, 400);
  for (std::uint32_t top = 0; top + 40 < 10000; top += 7) {
    int owners = 0;
    for (const auto& s : strips) owners += stripOwnsLine(s, top, top + 40);
    EXPECT_EQ(owners, 1) << top;
  }
}

using Groups = std::vector<std::vector<std::size_t>>;

TEST(SplitLinesTest, JoinsPiecesOfOneRowCloseTogether) {
  struct Case {
    const char* what;
    std::vector<PixelBox> boxes;
    Groups groups;
  };
  const Case cases[] = {
      {"a CJK line cut at a wide gap", {{60, 10, 150, 30}, {10, 10, 55, 30}}, {{1, 0}}},
      {"three pieces", {{10, 10, 50, 30}, {60, 10, 90, 30}, {95, 11, 140, 29}}, {{0, 1, 2}}},
      {"a button and its neighbour", {{10, 10, 100, 30}, {125, 10, 180, 30}}, {}},
      {"lines above each other", {{10, 10, 100, 30}, {10, 32, 100, 52}}, {}},
      {"a heading beside small text", {{10, 10, 100, 40}, {105, 20, 150, 35}}, {}},
      {"half a row apart", {{10, 10, 100, 30}, {105, 21, 200, 41}}, {}},
      {"two rows of two", {{10, 10, 50, 30}, {10, 50, 50, 70}, {55, 10, 90, 30}, {55, 50, 90, 70}}, {{0, 2}, {1, 3}}},
      {"empty boxes", {{10, 10, 50, 10}, {52, 10, 60, 10}}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitLines(c.boxes), c.groups) << c.what;
}

TEST(ReadingChoiceTest, MostConfidentWinsAndOrderBreaksNearTies) {
  struct Case {
    const char* what;
    std::vector<Reading> readings;
    std::size_t best;
  };
  const Case cases[] = {
      {"none", {}, 0},
      {"garbage first, the right language later", {{"SIEM", 0.25f}, {"SRB", 0.3f}, {"复制到剪贴板", 0.9f}}, 2},
      {"a near tie keeps the earlier", {{"Open", 0.82f}, {"0pen", 0.86f}}, 0},
      {"clearly better later", {{"Open", 0.8f}, {"0pen", 0.86f}}, 1},
      {"no text never wins", {{"", 0.0f}, {"", 0.99f}, {"x", 0.1f}}, 2},
      {"an empty first gives way", {{"", 0.9f}, {"y", 0.2f}}, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(bestReading(c.readings), c.best) << c.what;
}

TEST(ReadingChoiceTest, StopsAtTheFirstSettledReading) {
  const std::vector<Reading> offered = {{"a", 0.3f}, {"b", 0.81f}, {"c", 0.99f}};
  const struct {
    std::size_t count, asked;
    const char* text;
  } cases[] = {{0, 0, ""}, {1, 1, "a"}, {3, 2, "b"}};
  for (const auto& c : cases) {
    std::size_t asked = 0;
    Reading r = settleReading(c.count, [&](std::size_t i) {
      ++asked;
      return offered[i];
    });
    EXPECT_EQ(asked, c.asked) << c.count;
    EXPECT_EQ(r.text, c.text) << c.count;
  }
  // Settled means text as well as confidence.
  std::size_t asked = 0;
  settleReading(2, [&](std::size_t) { return ++asked == 1 ? Reading{"", 1.0f} : Reading{"z", 0.1f}; });
  EXPECT_EQ(asked, 2u);
}

TEST(ReadingChoiceTest, OnlyLinesOfTwoGlyphsOrMoreAreReadPerLanguage) {
  EXPECT_FALSE(worthReadingAlone({10, 10, 29, 20}));
  EXPECT_TRUE(worthReadingAlone({10, 10, 30, 20}));
}

TEST(ReadingChoiceTest, LatinLanguagesSkipLinesReadAsCjk) {
  const struct {
    const char* language;
    const char* reading;
    bool worth;
  } cases[] = {
      {"eng", "錄製時顯示滑蝦點擊和按鍵", false}, {"eng", "SIEM", true},      {"eng", "Ctrl+A 开始", true},
      {"fra", "按下快捷键 Ctrl 开始截图", false}, {"chi_tra", "錄製時", true}, {"kor", "Sent items", true},
      {"eng", "かな カナ", false},                  {"eng", "한국어", false},      {"eng", "", true},
  };
  for (const auto& c : cases) EXPECT_EQ(worthReadingWith(c.language, c.reading), c.worth) << c.reading;
}

}  // namespace
}  // namespace quorvane::ocr
