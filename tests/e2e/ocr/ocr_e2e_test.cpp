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

// Formats whose decoding takes its own path: PNG, JPEG with its EXIF turn, GIF.
TEST(OcrE2E, ReadsEnglishAsDecodedEachWay) {
  for (const char* name : {"english.png", "english-rot.jpg", "english.gif"}) {
    Ocr r = ocr({"eng"}, image(name));
    EXPECT_EQ(r.status, 0) << name;
    ASSERT_EQ(r.lines.size(), 2u) << name;
    EXPECT_EQ(r.lines[0], kProgress);
    EXPECT_EQ(r.last["text"], kEnglish) << name;
    EXPECT_GT(r.last["confidence"].get<double>(), 80) << name;
    EXPECT_FALSE(r.last.contains("lines")) << name;
  }
}

// Either order of the languages gives the same text: characters kept together
// after a Latin language, and a Chinese line that sparse layout cuts in two
// (whose short piece the languages together read as Latin capitals) put back.
TEST(OcrE2E, ChineseWithEnglishReadsTheSameInEitherOrder) {
  const std::pair<const char*, const char*> cases[] = {
      {"chinese.png", "你好世界 Hello 文字识别"},
      {"chinese-above-english.png", "打开设置窗口并选择语言\nOpen the settings window"},
  };
  for (const auto& [name, text] : cases) {
    for (const char* languages : {"eng,chi_sim", "chi_sim,eng"}) {
      Ocr r = ocr({languages}, image(name));
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.last["text"], text) << name << " " << languages;
    }
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

// Refused after its header, before anything of its size is allocated.
TEST(OcrE2E, DecompressionBombIsRefused) {
  Ocr r = ocr({"eng"}, pngBomb());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines, std::vector<std::string>{R"({"message":"无法解析图片数据","type":"error"})"});
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

// A scrolling capture is read in overlapping strips, each line once.
TEST(OcrE2E, TallCaptureIsReadInStripsWithoutDuplicates) {
  std::string fixture = image("english.png");
  Pix* text = pixReadMem(reinterpret_cast<const l_uint8*>(fixture.data()), fixture.size());
  ASSERT_TRUE(text);
  Pix* tall = pixCreate(pixGetWidth(text), 40000, pixGetDepth(text));
  pixSetAll(tall);
  if (pixGetColormap(text)) pixSetColormap(tall, pixcmapCopy(pixGetColormap(text)));
  // The middle copy straddles the first strip's edge (4096) and the middle
  // of the strips' overlap (3968), where one line belongs to each strip.
  for (int top : {100, 3940, 39800}) {
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
  EXPECT_NEAR(r.last["lines"][3]["y"].get<double>(), 3940 + 25, 4);
  EXPECT_NEAR(r.last["lines"][8]["y"].get<double>(), 39800 + 71, 4);
}

}  // namespace
}  // namespace quorvane
