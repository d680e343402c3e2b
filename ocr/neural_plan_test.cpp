#include "ocr/neural_plan.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace quorvane::ocr {
namespace {

using Strings = std::vector<std::string>;

TEST(NeuralPlanTest, ChineseGoesToTheNetworksAndTheOtherLanguagesToTheEngine) {
  const std::tuple<Strings, bool, Strings> cases[] = {
      {{"eng", "chi_sim"}, true, {"eng"}}, {{"chi_sim"}, true, {}}, {{"chi_sim", "jpn", "eng"}, true, {"jpn", "eng"}},
      {{"chi_tra", "eng"}, false, {"chi_tra", "eng"}}, {Strings{}, false, Strings{}}};
  for (const auto& [names, neural, others] : cases) {
    EXPECT_EQ(std::make_tuple(readsNeurally(names), engineLanguagesBeside(names)), std::make_tuple(neural, others));
  }
}

TEST(NeuralPlanTest, DetectorBandsAreOneShapeWithinWhatTheNetworkTakes) {
  // width, height, glyph -> scale, padded width, band height, bands
  const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, double, std::uint32_t, std::uint32_t, std::size_t>
      cases[] = {{1280, 800, 10, 1.0, 1280, 320, 3},   {1280, 380, 8, 1.0, 1280, 384, 1},
                 {1920, 1080, 10, 1.0, 1920, 256, 6},  {2560, 1600, 20, 0.5, 1280, 320, 3},
                 {3840, 2160, 12, 3168.0 / 3840, 3168, 160, 18}, {1, 1, 0, 1.0, 32, 32, 1}};
  for (const auto& [width, height, glyph, scale, padded, bandHeight, bands] : cases) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    const DetectorPlan plan = detectorPlan(width, height, glyph);
    EXPECT_EQ(std::make_tuple(plan.scale, plan.width, plan.bandHeight, plan.bands.size()),
              std::make_tuple(scale, padded, bandHeight, bands));
    EXPECT_LE(plan.width, kMaxDetectorWidth);
    EXPECT_LE(std::uint64_t{plan.width} * plan.bandHeight, std::max<std::uint64_t>(kMaxDetectorPixels, 32 * 32));
    EXPECT_EQ(plan.bandHeight % 32, 0u);
    for (const Strip& band : plan.bands) EXPECT_LE(band.bottom - band.top, plan.bandHeight);
    // The bands cover the scaled image from its first row to its last.
    const auto scaledHeight = std::uint32_t(std::lround(height * scale));
    EXPECT_EQ(std::make_tuple(plan.bands.front().top, plan.bands.front().ownTop, plan.bands.back().bottom),
              std::make_tuple(0u, 0u, std::max(scaledHeight, 1u)));
  }
  // A tall capture: lines up to the overlap's half lie whole in the band that owns them.
  const DetectorPlan tall = detectorPlan(1000, 40000, 10);
  ASSERT_GT(tall.bands.size(), 1u);
  EXPECT_EQ(tall.bands[0].bottom - tall.bands[1].top, kMinDetectorOverlap);
  EXPECT_EQ(tall.bands.back().ownBottom, 40000u);
}

TEST(NeuralPlanTest, LongRunsOfRepeatingRowsKeepTheirEndsOnly) {
  using Rows = std::vector<std::uint32_t>;
  const auto runs = [](std::initializer_list<int> flags) {
    std::vector<bool> repeats;
    for (int flag : flags) repeats.push_back(flag != 0);
    return repeats;
  };
  // repeats, keep, step -> rows kept
  const std::tuple<std::vector<bool>, std::uint32_t, std::uint32_t, Rows> cases[] = {
      {runs({0, 1, 1, 1, 1, 1, 0, 0}), 2, 1, {0, 1, 5, 6, 7}},         // a run of five keeps one at each end
      {runs({0, 1, 1, 1, 1, 1, 0}), 3, 1, {0, 1, 4, 5, 6}},            // an odd keep: the larger half after
      {runs({0, 1, 1, 0, 1, 1, 1}), 3, 1, {0, 1, 2, 3, 4, 5, 6}},      // runs no longer than keep stay whole
      {runs({0, 1, 1, 1, 1, 0, 1, 1, 1, 1}), 2, 1, {0, 1, 4, 5, 6, 9}},  // every run, the last one too
      {runs({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), 3, 4, {0, 1, 2, 3, 8, 9, 10}},  // rows go in whole steps: 4 of 10
      {runs({0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), 2, 4, {0, 1, 10}},        // 8 of 10
      {runs({0, 1, 1, 1, 1}), 1, 8, {0, 1, 2, 3, 4}},                  // a run shorter than keep and a step
      {runs({1, 1, 1, 1}), 0, 1, {0}},                                 // the first row always stays
      {runs({0, 0, 0}), 1, 1, {0, 1, 2}},
      {std::vector<bool>{}, 4, 1, Rows{}}};
  for (const auto& [repeats, keep, step, kept] : cases) {
    EXPECT_EQ(squeeze(repeats, keep, step).kept, kept) << keep << " " << step;
  }
}

TEST(NeuralPlanTest, ARowRepeatsWhenItLooksLikeTheFirstOfItsRun) {
  using Values = std::vector<int>;
  // A row's value; rows within 2 of each other look the same.
  const std::tuple<Values, std::vector<bool>> cases[] = {
      {{10, 11, 12, 13, 14}, {false, true, true, false, true}},  // a gradient: a new run once it drifts
      {{5, 5, 9, 9, 5}, {false, true, false, true, false}},
      {{7}, {false}},
      {Values{}, std::vector<bool>{}}};
  for (const auto& [values, repeats] : cases) {
    const auto alike = [&](std::size_t a, std::size_t b) { return std::abs(values[a] - values[b]) <= 2; };
    EXPECT_EQ(repeatingRows(values.size(), alike), repeats) << testing::PrintToString(values);
  }
}

TEST(NeuralPlanTest, SqueezedCoordinatesMapBackToTheImage) {
  const Squeeze squeezed{{0, 1, 5, 6, 7}};
  // squeezed coordinate -> start, end
  const std::tuple<double, double, double> cases[] = {
      {0, 0, 0},        {1, 1, 1},     {1.5, 1.5, 1.5}, {2, 5, 2},  // row 1 ends at 2; row 2 (5) starts at 5
      {2.5, 5.5, 5.5},  {3, 6, 6},     {5, 8, 8},                    // the end of the last row
      {-2, -2, -2},     {6.5, 9.5, 9.5}};                            // beyond the ends: the distance stays
  for (const auto& [at, start, end] : cases) {
    EXPECT_EQ(std::make_tuple(squeezed.start(at), squeezed.end(at)), std::make_tuple(start, end)) << at;
  }
  const Squeeze none;
  EXPECT_EQ(std::make_tuple(none.start(3), none.end(3)), std::make_tuple(3.0, 3.0));
  EXPECT_EQ(std::make_tuple(groundKept(0), groundKept(8), groundKept(14)), std::make_tuple(32u, 32u, 56u));
}

TEST(NeuralPlanTest, LinesTakeTheNarrowestWidthThatHoldsThem) {
  const std::tuple<double, double, std::uint32_t, std::uint32_t> cases[] = {
      {100, 24, 200, 256}, {128, 24, 256, 256}, {129, 24, 258, 512}, {300, 48, 300, 512},
      {5000, 24, 10000, 2048}, {10, 0, 0, 256}};
  for (const auto& [width, height, scaled, bucket] : cases) {
    EXPECT_EQ(std::make_tuple(scaledLineWidth(width, height), lineWidthFor(scaledLineWidth(width, height))),
              std::make_tuple(scaled, bucket)) << width << "x" << height;
  }
}

TEST(NeuralPlanTest, UnclipGrowsEverySideByAreaTimesRatioOverPerimeter) {
  const PixelBox grown = unclip({10, 20, 110, 30});  // 100 x 10: 1000 * 1.6 / 220
  const double by = 1600.0 / 220;
  EXPECT_EQ(std::make_tuple(grown.left, grown.top, grown.right, grown.bottom),
            std::make_tuple(10 - by, 20 - by, 110 + by, 30 + by));
  const PixelBox flat = unclip({5, 5, 5, 9});
  EXPECT_EQ(std::make_tuple(flat.left, flat.right), std::make_tuple(5.0, 5.0));
}

// Symbols: 1 "中", 2 "文", 3 "A", 4 "b", 5 "(", 6 "：", 7 ":"; class 8 is the blank space.
const Strings kSymbols = {"中", "文", "A", "b", "(", "：", ":"};

std::vector<Step> steps(std::initializer_list<std::size_t> symbols) {
  std::vector<Step> out;
  for (std::size_t s : symbols) out.push_back({s, s == 0 ? 0.9f : 0.5f + 0.05f * float(s)});
  return out;
}

TEST(CtcTest, RepeatsMergeBlanksSeparateAndConfidenceIsTheMeanOfKeptCharacters) {
  const std::tuple<const char*, std::vector<Step>, std::string, float> cases[] = {
      {"nothing", {}, "", 0.0f}, {"only blanks", steps({0, 0}), "", 0.0f},
      {"repeats merge", steps({1, 1, 0, 2, 2}), "中文", 0.575f},
      {"a blank between repeats keeps both", steps({3, 0, 3}), "AA", 0.65f},
      {"the class after the symbols is a space", steps({3, 8, 4}), "A b", 0.75f},
      {"beyond it too", steps({9}), " ", 0.95f}};
  for (const auto& [what, input, text, confidence] : cases) {
    const Reading reading = decodeCtc(input, kSymbols);
    EXPECT_EQ(reading.text, text) << what;
    EXPECT_FLOAT_EQ(reading.confidence, confidence) << what;
  }
}

TEST(CtcTest, GapsInTheInkBecomeBlanksOrFullWidthPunctuationBesideCjk) {
  // Steps 0..n; every pair of neighbouring characters is separated by a wide gap.
  const WordGap always = [](std::size_t, std::size_t) { return kBlankWidth; };
  const WordGap never = [](std::size_t, std::size_t) { return 0.0; };
  const WordGap afterStepTwo = [](std::size_t from, std::size_t to) { return from <= 2 && to > 2 ? 0.5 : 0.1; };
  const std::tuple<const char*, std::vector<Step>, WordGap, std::string> cases[] = {
      {"no gap", steps({1, 3, 4}), never, "中Ab"},
      {"Latin beside CJK takes a blank", steps({1, 3, 4}), always, "中 A b"},
      {"CJK beside CJK never does", steps({1, 2}), always, "中文"},
      {"only where the gap is", steps({3, 4, 0, 4, 3}), afterStepTwo, "Ab bA"},
      {"full-width punctuation carries its own room", steps({1, 6, 3}), always, "中：A"},
      {"ASCII colon with room after CJK is full-width", steps({1, 7, 2}), always, "中：文"},
      {"ASCII bracket with room before CJK is full-width", steps({3, 5, 1}), always, "A（中"},
      {"tight ASCII punctuation stays", steps({1, 5, 2}), never, "中(文"},
      {"a recognised space takes no second one", steps({3, 8, 4}), always, "A b"}};
  for (const auto& [what, input, gap, text] : cases) EXPECT_EQ(decodeCtc(input, kSymbols, gap).text, text) << what;
}

TEST(CtcTest, WhereTheScriptChangesANarrowerGapIsABlankIfTheRecogniserSeesASpace) {
  // "A" at step 0, a blank step 1 with the space's probability, "中" at step 2 (or the other way round).
  constexpr double narrow = (kScriptChangeBlankWidth + kBlankWidth) / 2;
  const std::tuple<const char*, std::size_t, std::size_t, double, float, std::string> cases[] = {
      {"Latin, then CJK: \"Export 设置\"", 3, 1, narrow, kSpaceHint, "A 中"},
      {"CJK, then Latin", 1, 3, narrow, kSpaceHint, "中 A"},
      {"without the recogniser's space, as in dates (\"2024年\")", 3, 1, narrow, kSpaceHint / 100, "A中"},
      {"too narrow whatever the hint", 3, 1, kScriptChangeBlankWidth * 0.9, 0.9f, "A中"},
      {"no script change: the full width is needed", 3, 4, narrow, 0.9f, "Ab"},
      {"no script change, full width", 3, 4, kBlankWidth, 0.0f, "A b"},
      {"CJK beside CJK never", 1, 2, narrow, 0.9f, "中文"}};
  for (const auto& [what, first, second, gap, space, text] : cases) {
    const std::vector<Step> input = {{first, 0.9f, 0.0f}, {0, 0.9f, space}, {second, 0.9f, 0.0f}};
    const WordGap gapWidth = [gap = gap](std::size_t, std::size_t) { return gap; };
    EXPECT_EQ(decodeCtc(input, kSymbols, gapWidth).text, text) << what;
  }
}

TEST(NeuralPlanTest, AThreadTakesLinesOfItsOwnNetworksFirstAndReadsANetworkTwiceOnlyForSeveralLines) {
  using Widths = std::vector<std::uint32_t>;
  const std::optional<std::size_t> none;
  // waiting, held, held by the other thread -> the line taken
  const std::tuple<Widths, Widths, Widths, std::optional<std::size_t>> cases[] = {
      {{256, 512, 512}, {}, {}, 0},
      {{256, 512, 512}, {512}, {}, 1},
      {{256, 512, 768}, {768, 256}, {}, 0},
      {{256, 512}, {1152}, {256}, 1},
      {{256, 256, 512, 512, 512}, {}, {256, 512}, 2},
      {{256, 256, 512, 512}, {}, {256, 512}, none},
      {{256, 256, 256}, {1152}, {256}, 0},
      {{}, {256}, {}, none}};
  for (const auto& [waiting, held, elsewhere, next] : cases) EXPECT_EQ(nextLineFor(waiting, held, elsewhere), next);
}

// Each case: lines found (their widths), the threads that ask before the
// engine's reading is known, the lines it settles, the threads that ask after.
TEST(NeuralPlanTest, ThreadsReadAheadOfTheEngineAndOnlyUnsettledReadingsCount) {
  using Widths = std::vector<std::uint32_t>;
  using Threads = std::vector<std::size_t>;
  using Taken = std::vector<std::optional<std::size_t>>;
  using Counts = std::vector<bool>;
  const std::tuple<Widths, Threads, std::set<std::size_t>, Threads, Taken, Counts> cases[] = {
      // Read ahead in the order found, a held width first; a settled line read ahead does not count.
      {{256, 512, 256}, {0, 0}, {0, 1}, {0, 0}, {0, 2, std::nullopt, std::nullopt}, {false, false, true}},
      // Settled lines are never taken; a line of the width the other thread holds is left to it.
      {{256, 512, 256, 512}, {}, {2}, {0, 1, 0, 1}, {0, 1, std::nullopt, 3}, {true, true, false, true}},
      // Nothing found, nothing to take either side of the engine.
      {{}, {0}, {}, {1}, {std::nullopt, std::nullopt}, {}},
  };
  for (const auto& [widths, before, settled, after, taken, counts] : cases) {
    LineSchedule schedule(2);
    for (std::uint32_t width : widths) schedule.add(width);
    Taken got;
    for (std::size_t thread : before) got.push_back(schedule.next(thread));
    EXPECT_EQ(schedule.engineKnown(), false);
    schedule.engineKnown([&](std::size_t line) { return settled.count(line) > 0; });
    for (std::size_t thread : after) got.push_back(schedule.next(thread));
    Counts counted;
    for (std::size_t line = 0; line < widths.size(); ++line) counted.push_back(schedule.counts(line));
    EXPECT_EQ(std::make_tuple(got, counted, schedule.engineKnown()), std::make_tuple(taken, counts, true))
        << testing::PrintToString(widths);
  }
}

TEST(NeuralPlanTest, LinesFoundAfterTheEngineIsKnownAreSettledAsTheyCome) {
  LineSchedule schedule(2);
  schedule.engineKnown([](std::size_t line) { return line == 1; });
  for (std::uint32_t width : {256u, 256u, 512u}) schedule.add(width);
  const std::vector<std::optional<std::size_t>> taken = {schedule.next(1), schedule.next(1), schedule.next(1)};
  EXPECT_EQ(std::make_tuple(taken, schedule.counts(1), schedule.counts(2), schedule.counts(3)),
            std::make_tuple(std::vector<std::optional<std::size_t>>{0, 2, std::nullopt}, false, true, false));
}

TEST(CtcTest, BracketsPairInOneWidth) {
  // Symbols: 1 "中", 2 "(", 3 ")", 4 "A"; a gap only between steps `at` and `at + 1`.
  const Strings symbols = {"中", "(", ")", "A"};
  const auto gapAfter = [](std::size_t at) {
    return WordGap([at](std::size_t from, std::size_t to) { return from <= at && to > at ? kBlankWidth : 0.0; });
  };
  const std::tuple<const char*, std::vector<Step>, std::size_t, std::string> cases[] = {
      {"the closing bracket of a full-width one", steps({1, 2, 4, 3}), 0, "中（A）"},
      {"the opening bracket of a full-width one", steps({2, 4, 3, 1}), 2, "（A）中"},
      {"ASCII brackets without room beside CJK stay", steps({2, 4, 3, 1}), 99, "(A)中"},
      {"a full-width bracket left open", steps({1, 2, 4}), 0, "中（A"},
      {"a closing bracket without an opening one", steps({4, 3, 1}), 99, "A)中"}};
  for (const auto& [what, input, gap, text] : cases) {
    EXPECT_EQ(decodeCtc(input, symbols, gapAfter(gap)).text, text) << what;
  }
}

}  // namespace
}  // namespace quorvane::ocr
