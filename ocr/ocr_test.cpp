#include "ocr/ocr.h"

#include <gtest/gtest.h>

#include "ocr/fake_recognition.h"

namespace quorvane::ocr {
namespace {

using Args = std::vector<std::string>;

Observation observed(double x, double y, double width, double height, const std::string& text, float confidence) {
  return Observation{NormalizedBox{x, y, width, height}, Candidate{text, confidence}};
}

class RunOcrTest : public testing::Test {
 protected:
  int run(const Args& args) { return runOcr(args, platform, out); }
  std::vector<Json> messages() const {
    std::vector<Json> parsed;
    for (const auto& line : out.lines()) parsed.push_back(Json::parse(line));
    return parsed;
  }
  Json result() const {
    auto all = messages();
    EXPECT_EQ(all.size(), 2u);
    return all.empty() ? Json() : all.back();
  }

  FakePlatform platform;
  RecordingOutput out;
};

struct ErrorCase {
  const char* what;
  Args args;
  InputBytes input;
  Decoded::Status decoded;
  std::string expected;
  bool readsInput;
};

class ErrorTest : public RunOcrTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorTest, WritesOnlyTheErrorAndFails) {
  const ErrorCase& c = GetParam();
  platform.input = c.input;
  platform.decoded.status = c.decoded;
  EXPECT_EQ(run(c.args), 1);
  ASSERT_EQ(out.lines().size(), 1u);
  EXPECT_EQ(out.lines()[0], R"({"message":")" + c.expected + R"(","type":"error"})");
  EXPECT_EQ(out.writes.size(), 2u);  // the object, then the line feed
  EXPECT_EQ(platform.inputReads, c.readsInput ? 1 : 0);
  EXPECT_EQ(platform.recognitions, 0);
}

const InputBytes kImage{"png", false};
const auto kOk = Decoded::Status::ok;

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorTest,
    testing::Values(
        ErrorCase{"no argument", {"ocr"}, kImage, kOk, "用法：quorvane-ocr <languages> [layout]", false},
        ErrorCase{"unknown code", {"ocr", "xyz"}, kImage, kOk, "未找到有效的识别语言", false},
        ErrorCase{"only commas", {"ocr", ",,"}, kImage, kOk, "未找到有效的识别语言", false},
        ErrorCase{"empty list", {"ocr", "", "layout"}, kImage, kOk, "未找到有效的识别语言", false},
        ErrorCase{"no bytes", {"ocr", "eng"}, InputBytes{"", false}, kOk, "未收到图片数据", true},
        ErrorCase{"too many bytes", {"ocr", "eng"}, InputBytes{"x", true}, kOk, "无法解析图片数据", true},
        ErrorCase{"not an image", {"ocr", "eng"}, kImage, Decoded::Status::notAnImage, "无法解析图片数据", true},
        ErrorCase{"no bitmap", {"ocr", "eng"}, kImage, Decoded::Status::noBitmap, "无法获取图片位图数据", true}));

TEST_F(RunOcrTest, ReadsInputBoundedAndPassesTheBytesOn) {
  platform.input = InputBytes{std::string("\x89PNG\0rest", 9), false};
  EXPECT_EQ(run({"ocr", "eng"}), 0);
  EXPECT_EQ(platform.askedMaxBytes, kMaxInputBytes);
  EXPECT_EQ(platform.decodedBytes, platform.input.bytes);
}

TEST_F(RunOcrTest, EngineFailureAfterProgress) {
  platform.recognition = Recognition{"缺少语言数据", std::nullopt};
  EXPECT_EQ(run({"ocr", "eng"}), 1);
  EXPECT_EQ(out.lines(), (std::vector<std::string>{R"({"status":"loading","type":"progress"})",
                                                    R"({"message":"文字识别引擎失败：缺少语言数据","type":"error"})"}));
}

TEST_F(RunOcrTest, NoResultListAfterProgress) {
  platform.recognition = Recognition{std::nullopt, std::nullopt};
  EXPECT_EQ(run({"ocr", "eng"}), 1);
  ASSERT_EQ(out.lines().size(), 2u);
  EXPECT_EQ(out.lines()[1], R"({"message":"文字识别引擎未返回结果","type":"error"})");
}

TEST_F(RunOcrTest, UnencodableResultFailsWithTheEncoderDescription) {
  platform.recognition.results = std::vector<Observation>{observed(0, 0, 1, 1, "bad \xff byte", 1.0f)};
  EXPECT_EQ(run({"ocr", "eng"}), 1);
  auto all = messages();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1]["type"], "error");
  EXPECT_TRUE(all[1]["message"].get<std::string>().starts_with("无法编码识别结果："));
}

TEST_F(RunOcrTest, LanguagesReachRecognitionInOrderWithRepeats) {
  EXPECT_EQ(run({"ocr", "chi_sim,nope,eng,chi_sim"}), 0);
  EXPECT_EQ(platform.askedLanguages, (std::vector<std::string>{"zh-Hans", "en-US", "zh-Hans"}));
}

TEST_F(RunOcrTest, BlankImageGivesEmptyTextAndZeroConfidence) {
  EXPECT_EQ(run({"ocr", "eng", "layout"}), 0);
  EXPECT_EQ(out.lines(), (std::vector<std::string>{R"({"status":"loading","type":"progress"})",
                                                    R"({"confidence":0,"lines":[],"text":"","type":"result"})"}));
}

TEST_F(RunOcrTest, LayoutSwitchIsExact) {
  const std::pair<Args, bool> cases[] = {{{"ocr", "eng"}, false},
                                         {{"ocr", "eng", "layout"}, true},
                                         {{"ocr", "eng", "Layout"}, false},
                                         {{"ocr", "eng", "layout", "more", "args"}, true},
                                         {{"ocr", "eng", "layouts"}, false}};
  for (const auto& [args, layout] : cases) {
    out.writes.clear();
    EXPECT_EQ(run(args), 0);
    EXPECT_EQ(result().contains("lines"), layout) << args.size();
  }
}

TEST_F(RunOcrTest, BoxesConfidenceAndOrder) {
  platform.decoded.bitmap = Bitmap{1000, 400, nullptr};
  platform.recognition.results = std::vector<Observation>{
      observed(0.25, 0.5, 0.5, 0.25, "second", 1.0f),
      observed(0.1, 0.8, 0.2, 0.1, "first", 0.5f),
  };
  EXPECT_EQ(run({"ocr", "eng", "layout"}), 0);
  Json r = result();
  EXPECT_EQ(r["text"], "first\nsecond");
  EXPECT_EQ(r["confidence"], 75);
  ASSERT_EQ(r["lines"].size(), 2u);
  Json second = r["lines"][1];
  EXPECT_EQ(second.dump(), R"({"angle":0,"confidence":100,"height":100,"width":500,"x":250,"y":100})");
  Json first = r["lines"][0];
  EXPECT_EQ(first["confidence"], 50);
  EXPECT_DOUBLE_EQ(first["x"].get<double>(), 100);
  EXPECT_DOUBLE_EQ(first["y"].get<double>(), 40);
}

TEST_F(RunOcrTest, MissingCandidateChangesNothing) {
  platform.recognition.results = std::vector<Observation>{
      observed(0.1, 0.5, 0.2, 0.1, "only", 0.8f),
      Observation{NormalizedBox{0.0, 0.9, 0.5, 0.05}, std::nullopt},
  };
  EXPECT_EQ(run({"ocr", "eng", "layout"}), 0);
  Json r = result();
  EXPECT_EQ(r["text"], "only");
  EXPECT_EQ(r["lines"].size(), 1u);
  EXPECT_DOUBLE_EQ(r["confidence"].get<double>(), static_cast<double>(0.8f) * 100);
}

TEST_F(RunOcrTest, BlankFirstLineVanishesFromTextButKeepsItsEntry) {
  platform.recognition.results = std::vector<Observation>{
      observed(0.1, 0.8, 0.2, 0.1, " \t\u3000", 0.25f),
      observed(0.1, 0.5, 0.2, 0.1, "text  inside", 0.75f),
  };
  EXPECT_EQ(run({"ocr", "eng", "layout"}), 0);
  Json r = result();
  EXPECT_EQ(r["text"], "text  inside");
  ASSERT_EQ(r["lines"].size(), 2u);
  EXPECT_EQ(r["lines"][0]["confidence"], 25);
  EXPECT_EQ(r["confidence"], 50);
}

TEST(JoinLinesTest, StripsUnicodeBlanksAtBothEndsOnly) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},
      {{"", ""}, ""},
      {{"  a b  "}, "a b"},
      {{"\u00a0\u2028x\u2029\u0085"}, "x"},
      {{"\r\n", "中 文", "\u3000"}, "中 文"},
      {{"a", "", "b"}, "a\n\nb"},
      {{"\xff "}, "\xff"},
  };
  for (const auto& [lines, expected] : cases) EXPECT_EQ(joinLines(lines), expected);
}

}  // namespace
}  // namespace quorvane::ocr
