// quorvane-ocr as the application runs it, with the real engine: arguments,
// the image on standard input, Messages on standard output, the exit status.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <sstream>

#include "common/channel.h"
#include "tests/support/process.h"

namespace quorvane {
namespace {

const std::string kEnglish = "Open the settings window\nExport as PNG\nSave";

std::string bytesOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string image(const std::string& name) { return bytesOf(std::string(OCR_E2E_IMAGES) + "/" + name); }

struct Ocr {
  int status;
  std::vector<std::string> lines;
  Json last;  // the last line
};

Ocr ocr(const std::vector<std::string>& args, const std::string& input, const test::SpawnOptions& options = {}) {
  std::vector<std::string> argv{test::binary("quorvane-ocr")};
  argv.insert(argv.end(), args.begin(), args.end());
  test::Result result = test::run(argv, input, options, std::chrono::seconds(60));
  Ocr out{result.status, {}, Json()};
  std::istringstream stream(result.out);
  for (std::string line; std::getline(stream, line);) out.lines.push_back(line);
  if (!out.lines.empty()) out.last = Json::parse(out.lines.back());
  return out;
}

// The JPEG's EXIF turn applied; a table whose thin glyphs sparse layout leaves out ("Noah Wil" and "ams") or
// echoes ("110 March").
TEST(OcrE2E, ReadsRealLatinImages) {
  const std::tuple<const char*, std::string> cases[] = {
      {"english-rot.jpg", kEnglish},
      {"latin-table.png", "Noah Williams\n10 March 2024\nDelivered\nOlivia Martin\n21 October 2023\nShipped"}};
  for (const auto& [name, text] : cases) {
    Ocr r = ocr({"eng"}, image(name));
    EXPECT_EQ(std::make_tuple(r.status, r.lines.size(), r.last["text"]), std::make_tuple(0, 2u, Json(text))) << name;
    EXPECT_GT(r.last["confidence"].get<double>(), 70) << name;
  }
}

// The networks and the engine together, once (each is slow under the sanitizers; their rules are tested
// beside them): the bundled sample, Chinese and English in two columns, without a wrong character (the
// blank of "Export 设置" is narrower than most, for a line with a descender).
TEST(OcrE2E, ReadsTheSampleScreenshotInChineseAndEnglish) {
  const std::string text =
      "Release notes - Quorvane Editor\nInbox\n中文与英文混排\nDrafts\n新版本支持滚动截图和屏幕录制。\nSent items\n"
      "按下快捷键 Ctrl+Shift+A 开始截图。\nArchive\n识别结果可以复制到剪贴板。\nExport 设置在偏好设置窗口中。\n"
      "Settings\n长截图会自动拼接成一张图片。\nHelp and feedback\n录制时显示鼠标点击和按键。\nSave changes\nCancel\n"
      "Last saved 12 minutes ago by Alex Chen";
  Ocr r = ocr({"eng,chi_sim"}, bytesOf(OCR_E2E_SAMPLE));
  EXPECT_EQ(std::make_tuple(r.status, r.lines.size(), r.last["text"]), std::make_tuple(0, 2u, Json(text)));
  EXPECT_GT(r.last["confidence"].get<double>(), 80);
}

// A scrolling capture is read in overlapping strips, each line once: the
// middle copy straddles the first strip's edge (4096) and the middle of the
// strips' overlap (3968). The last copy is light on dark, as in a dark theme.
TEST(OcrE2E, TallCaptureIsReadInStripsWithoutDuplicatesInEitherPolarity) {
  const std::string fixture = image("english.png");
  Pix* rgb = pixReadMem(reinterpret_cast<const l_uint8*>(fixture.data()), fixture.size());  // opaque
  Pix* text = pixConvertTo8(rgb, 0);
  ASSERT_TRUE(text);
  Pix* tall = pixCreate(pixGetWidth(text), 40000, 8);
  pixSetAll(tall);
  for (int top : {100, 3940, 39800}) {
    const int op = top < 39800 ? PIX_SRC : PIX_NOT(PIX_SRC);
    pixRasterop(tall, 0, top, pixGetWidth(text), pixGetHeight(text), op, text, 0, 0);
  }
  l_uint8* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(pixWriteMem(&data, &size, tall, IFF_PNG), 0);
  std::string png(reinterpret_cast<char*>(data), size);
  lept_free(data);
  for (Pix* pix : {tall, text, rgb}) pixDestroy(&pix);

  Ocr r = ocr({"eng", "layout"}, png);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.last["text"], kEnglish + "\n" + kEnglish + "\n" + kEnglish);
  EXPECT_GT(r.last["confidence"].get<double>(), 80);
  ASSERT_EQ(r.last["lines"].size(), 9u);
  // Where the fixture's text was drawn (x, top, width, height), with slack for the engine's idea of a line's
  // extent.
  const double drawn[][4] = {{21, 25, 260, 19}, {22, 71, 139, 18}, {286, 71, 47, 14}}, slack[] = {4, 4, 8, 5};
  for (size_t i = 0; i < 9; ++i) {
    const Json& line = r.last["lines"][i];
    const double found[] = {line["x"], line["y"].get<double>() - (i < 3 ? 100 : i < 6 ? 3940 : 39800), line["width"],
                            line["height"]};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(found[k], drawn[i % 3][k], slack[k]) << "line " << i << ", value " << k;
    EXPECT_EQ(line["angle"], 0);
  }
}

TEST(OcrE2E, MissingLanguageDataIsAnEngineFailureNamingIt) {
  namespace fs = std::filesystem;
  const fs::path data = fs::temp_directory_path() / ("ocr-e2e-tessdata-" + std::to_string(::getpid()));
  fs::create_directories(data);
  fs::create_symlink("/usr/share/tesseract-ocr/5/tessdata/eng.traineddata", data / "eng.traineddata");
  const test::SpawnOptions options{.env = {{"TESSDATA_PREFIX", data.string()}}};
  Ocr missing = ocr({"eng,jpn,eng"}, image("english.png"), options);
  Ocr present = ocr({"eng,eng"}, image("english.png"), options);
  fs::remove_all(data);

  EXPECT_EQ(missing.status, 1);
  ASSERT_EQ(missing.lines.size(), 2u);
  const std::string message = "文字识别引擎失败：无法加载 ja-JP 的语言数据 jpn.traineddata（请安装 tesseract-ocr-jpn）";
  EXPECT_EQ(missing.last, (Json{{"type", "error"}, {"message", message}}));
  EXPECT_EQ(present.status, 0);
  EXPECT_EQ(present.last["text"], kEnglish);
}

TEST(OcrE2E, AMissingOrDamagedModelIsAnEngineFailureNamingTheFile) {
  namespace fs = std::filesystem;
  const fs::path models = fs::temp_directory_path() / ("ocr-e2e-models-" + std::to_string(::getpid()));
  fs::create_directories(models);
  const std::string source = std::getenv("QUORVANE_OCR_MODELS");
  for (const auto& entry : fs::directory_iterator(source)) {
    fs::create_symlink(entry.path(), models / entry.path().filename());
  }
  const test::SpawnOptions options{.env = {{"QUORVANE_OCR_MODELS", models.string()}}};
  fs::remove(models / "det.onnx");
  Ocr missing = ocr({"eng,chi_sim"}, image("chinese.png"), options);
  std::ofstream(models / "det.onnx") << "not a network";
  Ocr damaged = ocr({"chi_sim"}, image("chinese.png"), options);
  Ocr latin = ocr({"eng"}, image("english.png"), options);
  // A recogniser that cannot be read fails the reading, whichever thread meets it first.
  fs::remove(models / "det.onnx");
  fs::create_symlink(fs::path(source) / "det.onnx", models / "det.onnx");
  for (const char* width : {"256", "512", "768", "1152", "2048"}) {
    const fs::path recogniser = models / ("rec-" + std::string(width) + ".onnx");
    fs::remove(recogniser);
    std::ofstream(recogniser) << "not a network";
  }
  Ocr unreadable = ocr({"eng,chi_sim"}, image("chinese.png"), options);
  fs::remove_all(models);

  const std::string det = (models / "det.onnx").string();
  EXPECT_EQ(std::make_tuple(missing.status, missing.last["message"]),
            std::make_tuple(1, Json("文字识别引擎失败：缺少文字识别模型文件 " + det)));
  EXPECT_EQ(std::make_tuple(damaged.status, damaged.last["message"]),
            std::make_tuple(1, Json("文字识别引擎失败：文字识别模型文件已损坏 " + det)));
  EXPECT_EQ(latin.last["text"], kEnglish) << "Latin lists do not need the networks";
  const std::string corrupt = "文字识别引擎失败：文字识别模型文件已损坏 " + (models / "rec-").string();
  const std::string message = unreadable.last["message"].get<std::string>();
  EXPECT_EQ(std::make_tuple(unreadable.status, message.substr(0, corrupt.size())), std::make_tuple(1, corrupt));
}

}  // namespace
}  // namespace quorvane
