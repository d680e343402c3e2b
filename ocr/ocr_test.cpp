#include "ocr/ocr.h"

#include <cmath>
#include <gtest/gtest.h>

#include "ocr/fake_recognition.h"
#include "ocr/languages.h"

namespace quorvane::ocr {
namespace {

using Strings = std::vector<std::string>;

Observation observed(double x, double y, double width, double height, const std::string& text, float confidence) {
  return Observation{NormalizedBox{x, y, width, height}, Candidate{text, confidence}};
}
std::string error(const std::string& message) { return R"({"message":")" + message + R"(","type":"error"})"; }
const std::string kProgress = R"({"status":"loading","type":"progress"})";
const InputBytes kImage{std::string("\x89PNG\0rest", 9), false};  // passed on whole, NUL and all
const std::string kRead = "read " + std::to_string(kMaxInputBytes), kDecode = "decode " + kImage.bytes;

// Only the error after what was said, in two writes (object, line feed); nothing asked past the failure.
TEST(RunOcrTest, FailuresWriteOnlyTheErrorAndAskNoFurther) {
  const auto ok = Decoded::Status::ok, notAnImage = Decoded::Status::notAnImage, noBitmap = Decoded::Status::noBitmap;
  const std::tuple<const char*, Strings, InputBytes, Decoded::Status, Recognition, Strings, Strings> cases[] = {
      {"no argument", {"ocr"}, kImage, ok, {}, {error("用法：quorvane-ocr <languages> [layout]")}, {}},
      {"unknown code", {"ocr", "xyz"}, kImage, ok, {}, {error("未找到有效的识别语言")}, {}},
      {"no bytes", {"ocr", "eng"}, {"", false}, ok, {}, {error("未收到图片数据")}, {kRead}},
      {"too many bytes", {"ocr", "eng"}, {"x", true}, ok, {}, {error("无法解析图片数据")}, {kRead}},
      {"not an image", {"ocr", "eng"}, kImage, notAnImage, {}, {error("无法解析图片数据")}, {kRead, kDecode}},
      {"no bitmap", {"ocr", "eng"}, kImage, noBitmap, {}, {error("无法获取图片位图数据")}, {kRead, kDecode}},
      {"engine failure", {"ocr", "chi_sim,eng"}, kImage, ok, {"缺少语言数据", std::nullopt},
       {kProgress, error("文字识别引擎失败：缺少语言数据")}, {kRead, kDecode, "recognize zh-Hans en-US"}},
      {"no result list", {"ocr", "eng"}, kImage, ok, {std::nullopt, std::nullopt},
       {kProgress, error("文字识别引擎未返回结果")}, {kRead, kDecode, "recognize en-US"}},
      {"unencodable result", {"ocr", "eng"}, kImage, ok, {std::nullopt, {{observed(0, 0, 1, 1, "x", NAN)}}},
       {kProgress, error("无法编码识别结果：Invalid number value (NaN or infinity) in JSON write")},
       {kRead, kDecode, "recognize en-US"}},
  };
  for (const auto& [what, args, input, decoded, recognition, lines, calls] : cases) {
    SCOPED_TRACE(what);
    FakePlatform platform;
    platform.input = input;
    platform.decoded.status = decoded;
    platform.recognition = recognition;
    RecordingOutput out;
    EXPECT_EQ(runOcr(args, platform, out), 1);
    Strings writes;
    for (const auto& line : lines) writes.insert(writes.end(), {line, "\n"});
    EXPECT_EQ(out.writes, writes);
    EXPECT_EQ(platform.calls, calls);
  }
}

// Lines in reading order, boxes in pixels from the top-left of the 1000 x 400 image, mean confidence in percent.
TEST(RunOcrTest, ResultFollowsTheLayoutSwitchAndTheReadings) {
  const std::string blank = R"({"confidence":0,"text":"","type":"result"})";
  const std::string blankLaidOut = R"({"confidence":0,"lines":[],"text":"","type":"result"})";
  const std::tuple<const char*, Strings, std::vector<Observation>, std::string> cases[] = {
      {"no layout", {"ocr", "eng"}, {}, blank}, {"layout", {"ocr", "eng", "layout"}, {}, blankLaidOut},
      {"exact case", {"ocr", "eng", "Layout"}, {}, blank}, {"whole word", {"ocr", "eng", "layouts"}, {}, blank},
      {"further arguments ignored", {"ocr", "eng", "layout", "more"}, {}, blankLaidOut},
      {"sorted, boxes and confidences", {"ocr", "eng", "layout"},
       {observed(0.25, 0.5, 0.5, 0.25, "second", 1.0f), observed(0.125, 0.75, 0.25, 0.125, "first", 0.5f)},
       R"({"confidence":75,"lines":[{"angle":0,"confidence":50,"height":50,"width":250,"x":125,"y":50},)"
       R"({"angle":0,"confidence":100,"height":100,"width":500,"x":250,"y":100}],)"
       R"("text":"first\nsecond","type":"result"})"},
      {"no candidate: counted nowhere; a blank first line: out of the text, still a line", {"ocr", "eng", "layout"},
       {observed(0.125, 0.75, 0.25, 0.125, " \t\u3000", 0.25f), Observation{{0, 0.875, 0.5, 0.125}, std::nullopt},
        observed(0.125, 0.5, 0.25, 0.125, "text  inside", 0.75f)},
       R"({"confidence":50,"lines":[{"angle":0,"confidence":25,"height":50,"width":250,"x":125,"y":50},)"
       R"({"angle":0,"confidence":75,"height":50,"width":250,"x":125,"y":150}],)"
       R"("text":"text  inside","type":"result"})"},
  };
  for (const auto& [what, args, found, result] : cases) {
    FakePlatform platform;
    platform.recognition.results = found;
    RecordingOutput out;
    EXPECT_EQ(runOcr(args, platform, out), 0) << what;
    EXPECT_EQ(out.lines(), (Strings{kProgress, result})) << what;
  }
}

TEST(JoinLinesTest, StripsUnicodeBlanksAtBothEndsOnly) {
  const std::pair<Strings, std::string> cases[] = {
      {{}, ""}, {{"", ""}, ""}, {{"  a b  "}, "a b"}, {{"\u00a0\u2028x\u2029\u0085"}, "x"},
      {{"\r\n", "中 文", "\u3000"}, "中 文"}, {{"a", "", "b"}, "a\n\nb"}, {{"\xff "}, "\xff"}};
  for (const auto& [lines, expected] : cases) EXPECT_EQ(joinLines(lines), expected);
}

TEST(LanguageListTest, CutsAtCommasTranslatesKnownCodesInOrderAndTrimsOrFoldsNothing) {
  const std::pair<const char*, Strings> cases[] = {
      {"chi_sim,xx,eng,chi_sim", {"zh-Hans", "en-US", "zh-Hans"}}, {",kor,,vie,", {"ko-KR", "vi-VN"}},
      {"eng, jpn", {"en-US"}}, {"jpn\n", {}}, {"ENG", {}}, {"", {}}};
  for (const auto& [list, tags] : cases) EXPECT_EQ(parseLanguageList(list).visionLanguages, tags) << list;
}

}  // namespace
}  // namespace quorvane::ocr
