// quorvane-ocr as the application runs it: arguments, the image on standard
// input, Messages on standard output, the exit status.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include "common/channel.h"
#include "tests/support/process.h"

namespace quorvane {
namespace {

using test::binary;
using test::run;

const std::string kProgress = R"({"status":"loading","type":"progress"})";
const std::string kEnglish = "Open the settings window\nExport as PNG\nSave";

std::string image(const std::string& name) {
  std::ifstream file(std::string(OCR_E2E_IMAGES) + "/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

struct Ocr {
  int status;
  std::vector<std::string> lines;
  Json last;
};

Ocr ocr(const std::vector<std::string>& args, const std::string& input, const test::SpawnOptions& options = {}) {
  std::vector<std::string> argv{binary("quorvane-ocr")};
  argv.insert(argv.end(), args.begin(), args.end());
  test::Result result = run(argv, input, options, std::chrono::seconds(60));
  Ocr out{result.status, {}, Json()};
  std::istringstream stream(result.out);
  for (std::string line; std::getline(stream, line);) out.lines.push_back(line);
  if (!out.lines.empty()) out.last = Json::parse(out.lines.back());
  return out;
}

TEST(OcrE2E, ReadsEveryFormatTheSame) {
  for (const char* name : {"english.png", "english16.png", "english-alpha.png", "english-dark.png", "english.gif",
                           "english.webp", "english.tiff", "english.bmp", "english-rot.jpg"}) {
    Ocr r = ocr({"eng"}, image(name));
    EXPECT_EQ(r.status, 0) << name;
    ASSERT_EQ(r.lines.size(), 2u) << name;
    EXPECT_EQ(r.lines[0], kProgress);
    EXPECT_EQ(r.last["text"], kEnglish) << name;
    EXPECT_GT(r.last["confidence"].get<double>(), 80) << name;
    EXPECT_FALSE(r.last.contains("lines")) << name;
  }
}

TEST(OcrE2E, ChineseWithEnglishKeepsCharactersTogether) {
  for (const char* languages : {"eng,chi_sim", "chi_sim,eng"}) {
    Ocr r = ocr({languages}, image("chinese.png"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.last["text"], "你好世界 Hello 文字识别") << languages;
  }
}

// Where the fixture's text was drawn: x, top, width, height, with slack for
// the engine's idea of a line's extent.
struct Expected {
  double x, y, width, height;
};

TEST(OcrE2E, LayoutBoxesLandOnTheText) {
  Ocr r = ocr({"eng", "layout"}, image("english.png"));
  ASSERT_EQ(r.status, 0);
  const Json& lines = r.last["lines"];
  ASSERT_EQ(lines.size(), 3u);
  const Expected expected[] = {{21, 25, 260, 19}, {22, 71, 139, 18}, {286, 71, 47, 14}};
  for (size_t i = 0; i < 3; ++i) {
    const Json& line = lines[i];
    EXPECT_NEAR(line["x"].get<double>(), expected[i].x, 4) << i;
    EXPECT_NEAR(line["y"].get<double>(), expected[i].y, 4) << i;
    EXPECT_NEAR(line["width"].get<double>(), expected[i].width, 8) << i;
    EXPECT_NEAR(line["height"].get<double>(), expected[i].height, 5) << i;
    EXPECT_EQ(line["angle"], 0);
    EXPECT_GT(line["confidence"].get<double>(), 80);
  }
}

TEST(OcrE2E, BlankImageGivesEmptyText) {
  Ocr r = ocr({"eng", "layout"}, image("blank.png"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{kProgress, R"({"confidence":0,"lines":[],"text":"","type":"result"})"}));
}

std::string pngBomb() {
  // A real PNG header claiming 100000 x 100000 pixels; the body hardly matters.
  Pix* small = pixCreate(8, 8, 8);
  l_uint8* data = nullptr;
  size_t size = 0;
  pixWriteMem(&data, &size, small, IFF_PNG);
  pixDestroy(&small);
  std::string png(reinterpret_cast<char*>(data), size);
  lept_free(data);
  const char side[4] = {0, 1, char(0x86), char(0xA0)};
  png.replace(16, 4, side, 4);
  png.replace(20, 4, side, 4);
  return png;
}

TEST(OcrE2E, ErrorsComeAloneWithStatusOne) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"no argument", {}, image("english.png"), "用法：quorvane-ocr <languages> [layout]"},
      {"unknown code", {"ENG"}, image("english.png"), "未找到有效的识别语言"},
      {"commas", {",,", "layout"}, image("english.png"), "未找到有效的识别语言"},
      {"blank beside a comma", {" eng"}, image("english.png"), "未找到有效的识别语言"},
      {"empty input", {"eng"}, "", "未收到图片数据"},
      {"text input", {"eng"}, "this is plain text, not an image", "无法解析图片数据"},
      {"truncated png", {"eng"}, image("english.png").substr(0, 400), "无法解析图片数据"},
      {"decompression bomb", {"eng"}, pngBomb(), "无法解析图片数据"},
  };
  for (const auto& c : cases) {
    Ocr r = ocr(c.args, c.input);
    EXPECT_EQ(r.status, 1) << c.what;
    Json expected{{"type", "error"}, {"message", c.message}};
    EXPECT_EQ(r.lines, std::vector<std::string>{expected.dump()}) << c.what;
  }
}

TEST(OcrE2E, UsageAndLanguageErrorsDoNotWaitForInput) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"xx"}}) {
    std::vector<std::string> argv{binary("quorvane-ocr")};
    argv.insert(argv.end(), args.begin(), args.end());
    test::Child child(argv);  // standard input stays open and silent
    auto line = child.readLine(std::chrono::seconds(20));
    ASSERT_TRUE(line);
    EXPECT_EQ(Json::parse(*line)["type"], "error");
    EXPECT_EQ(child.wait(std::chrono::seconds(20)), 1);
  }
}

TEST(OcrE2E, MissingLanguageDataIsAnEngineFailureNamingIt) {
  namespace fs = std::filesystem;
  fs::path data = fs::temp_directory_path() / ("ocr-e2e-tessdata-" + std::to_string(::getpid()));
  fs::create_directories(data);
  const char* prefixes[] = {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tessdata"};
  for (const char* prefix : prefixes) {
    if (fs::exists(fs::path(prefix) / "eng.traineddata")) {
      fs::create_symlink(fs::path(prefix) / "eng.traineddata", data / "eng.traineddata");
      break;
    }
  }
  test::SpawnOptions options;
  options.env["TESSDATA_PREFIX"] = data.string();
  Ocr r = ocr({"eng,jpn,eng"}, image("english.png"), options);
  Ocr onlyMissing = ocr({"kor"}, image("english.png"), options);
  Ocr present = ocr({"eng,eng"}, image("english.png"), options);
  fs::remove_all(data);

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{
                         kProgress, Json{{"type", "error"},
                                         {"message", "文字识别引擎失败：无法加载 ja-JP 的语言数据 jpn.traineddata"
                                                     "（请安装 tesseract-ocr-jpn）"}}
                                        .dump()}));
  EXPECT_EQ(onlyMissing.status, 1);
  EXPECT_EQ(onlyMissing.last["message"],
            "文字识别引擎失败：无法加载 ko-KR 的语言数据 kor.traineddata（请安装 tesseract-ocr-kor）");
  EXPECT_EQ(present.status, 0);
  EXPECT_EQ(present.last["text"], kEnglish);
}

// Taller than the engine accepts: read in overlapping strips, each line once.
TEST(OcrE2E, TallCaptureIsReadInStripsWithoutDuplicates) {
  std::string fixture = image("english.png");
  Pix* text = pixReadMem(reinterpret_cast<const l_uint8*>(fixture.data()), fixture.size());
  ASSERT_TRUE(text);
  Pix* tall = pixCreate(pixGetWidth(text), 40000, pixGetDepth(text));
  pixSetAll(tall);
  if (pixGetColormap(text)) pixSetColormap(tall, pixcmapCopy(pixGetColormap(text)));
  // The middle copy straddles the first strip's edge (32000) and the middle
  // of the strips' overlap, where one line belongs to each strip.
  for (int top : {100, 31650, 39800}) {
    pixRasterop(tall, 0, top, pixGetWidth(text), pixGetHeight(text), PIX_SRC, text, 0, 0);
  }
  l_uint8* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(pixWriteMem(&data, &size, tall, IFF_PNG), 0);
  std::string png(reinterpret_cast<char*>(data), size);
  lept_free(data);
  pixDestroy(&tall);
  pixDestroy(&text);

  Ocr r = ocr({"eng", "layout"}, png);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.last["text"], kEnglish + "\n" + kEnglish + "\n" + kEnglish);
  ASSERT_EQ(r.last["lines"].size(), 9u);
  EXPECT_NEAR(r.last["lines"][3]["y"].get<double>(), 31650 + 25, 4);
  EXPECT_NEAR(r.last["lines"][8]["y"].get<double>(), 39800 + 71, 4);
}

}  // namespace
}  // namespace quorvane
