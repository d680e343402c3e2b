#include "ocr/ppocr/reader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <leptonica/allheaders.h>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include "ocr/neural_plan.h"
#include "ocr/texts.h"

namespace quorvane::ocr {

namespace {

// A model file is never this large; a bigger one is not ours.
constexpr std::streamoff kMaxModelBytes = std::streamoff{64} << 20;
// The detector's probability map: text where it is above this; a region kept
// when its mean is at least kBoxScore; regions thinner than kMinSide dropped.
constexpr float kTextProbability = 0.3f;
constexpr double kBoxScore = 0.5;
constexpr int kMinSide = 3;
// Normalisation the detector was trained with, per channel.
constexpr float kMean[3] = {0.485f, 0.456f, 0.406f}, kStd[3] = {0.229f, 0.224f, 0.225f};

std::string failure(std::string_view text, const std::string& path) { return std::string(text) + path; }

std::string programFolder() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string program(path, std::size_t(length));
  return program.substr(0, program.rfind('/'));
}

cv::Mat matOf(Pix* grey) {
  const int width = pixGetWidth(grey), height = pixGetHeight(grey), wpl = pixGetWpl(grey);
  cv::Mat mat(height, width, CV_8UC1);
  for (int y = 0; y < height; ++y) {
    const l_uint32* line = pixGetData(grey) + std::size_t(y) * wpl;
    auto* out = mat.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) out[x] = std::uint8_t(GET_DATA_BYTE(line, x));
  }
  return mat;
}

std::optional<cv::dnn::Net> netFrom(const std::string& bytes) {
  try {
    cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes.data(), bytes.size());
    if (net.empty()) return std::nullopt;
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    return net;
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
}

std::optional<cv::Mat> forward(cv::dnn::Net& net, const cv::Mat& blob) {
  try {
    net.setInput(blob);
    return net.forward().clone();
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::string modelFolder() {
  if (const char* folder = std::getenv("QUORVANE_OCR_MODELS"); folder && *folder) return folder;
  return programFolder() + "/" QUORVANE_OCR_MODELS_FROM_PROGRAM;
}

std::optional<std::string> readModelFile(const std::string& path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return failure(texts::kModelMissing, path);
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size <= 0 || size > kMaxModelBytes) return failure(texts::kModelCorrupt, path);
  bytes.assign(std::size_t(size), '\0');
  file.seekg(0);
  if (!file.read(bytes.data(), size)) return failure(texts::kModelCorrupt, path);
  return std::nullopt;
}

PpocrReader::PpocrReader(std::string folder, std::vector<std::string> symbols, std::string detector)
    : folder_(std::move(folder)), symbols_(std::move(symbols)), detectorBytes_(std::move(detector)) {}
PpocrReader::~PpocrReader() = default;

std::variant<std::unique_ptr<PpocrReader>, std::string> PpocrReader::open(const std::string& folder) {
  using Result = std::variant<std::unique_ptr<PpocrReader>, std::string>;
  const std::string keysPath = folder + "/keys.txt", detectorPath = folder + "/det.onnx";
  std::string keys, detector;
  if (auto failed = readModelFile(keysPath, keys)) return Result(std::in_place_index<1>, *failed);
  std::vector<std::string> symbols;
  std::istringstream lines(keys);
  for (std::string line; std::getline(lines, line);) symbols.push_back(line);
  if (symbols.size() < 2) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, keysPath));
  if (auto failed = readModelFile(detectorPath, detector)) return Result(std::in_place_index<1>, *failed);
  if (!netFrom(detector)) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, detectorPath));
  // The caller keeps both cores busy with threads of its own (detection
  // beside the engine, then recognition on both); OpenCV's pool on top of
  // them would only make them wait for each other.
  cv::setNumThreads(1);
  return Result(std::in_place_index<0>,
                std::unique_ptr<PpocrReader>(new PpocrReader(folder, std::move(symbols), std::move(detector))));
}

namespace {

// The detector's input for one band: three equal channels, normalised, padded
// by repeating the edge so that no false border appears.
cv::Mat detectorBlob(const cv::Mat& band, int width, int height) {
  cv::Mat padded;
  cv::copyMakeBorder(band, padded, 0, height - band.rows, 0, width - band.cols, cv::BORDER_REPLICATE);
  cv::Mat blob({1, 3, height, width}, CV_32F);
  for (int c = 0; c < 3; ++c) {
    cv::Mat plane(height, width, CV_32F, blob.ptr<float>(0, c));
    padded.convertTo(plane, CV_32F, 1.0 / (255.0 * kStd[c]), -kMean[c] / kStd[c]);
  }
  return blob;
}

// Regions of the probability map as boxes in the band's pixels.
std::vector<PixelBox> regions(const cv::Mat& probability) {
  cv::Mat text = probability > kTextProbability;
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(text, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  std::vector<PixelBox> boxes;
  for (const auto& contour : contours) {
    const cv::Rect rect = cv::boundingRect(contour);
    if (std::min(rect.width, rect.height) < kMinSide) continue;
    if (cv::mean(probability(rect))[0] < kBoxScore) continue;
    boxes.push_back({double(rect.x), double(rect.y), double(rect.x + rect.width), double(rect.y + rect.height)});
  }
  return boxes;
}

// The recogniser's input: the line scaled to 48 rows, its grey in three
// channels from -1 to 1, zero beyond its end.
cv::Mat lineBlob(const cv::Mat& resized, int width) {
  cv::Mat blob({1, 3, int(kLineHeight), width}, CV_32F, cv::Scalar(0));
  for (int c = 0; c < 3; ++c) {
    cv::Mat plane(int(kLineHeight), width, CV_32F, blob.ptr<float>(0, c));
    resized.convertTo(plane(cv::Rect(0, 0, resized.cols, resized.rows)), CV_32F, 2.0 / 255.0, -1.0);
  }
  return blob;
}

// Ink differs from the line's ground (its commonest grey) by this much.
constexpr int kInkContrast = 48;
// Pixels of the 48-row line per recogniser step.
constexpr int kStepWidth = 8;

// Which columns of a line hold ink, and how many rows the ink spans.
struct Ink {
  std::vector<bool> columns;
  int height = 0;
};

Ink inkOf(const cv::Mat& line) {
  int histogram[256] = {};
  for (int y = 0; y < line.rows; ++y) {
    for (int x = 0; x < line.cols; ++x) ++histogram[line.at<std::uint8_t>(y, x)];
  }
  const int ground = int(std::max_element(std::begin(histogram), std::end(histogram)) - std::begin(histogram));
  Ink ink;
  ink.columns.assign(std::size_t(line.cols), false);
  int top = line.rows, bottom = -1;
  for (int y = 0; y < line.rows; ++y) {
    for (int x = 0; x < line.cols; ++x) {
      if (std::abs(int(line.at<std::uint8_t>(y, x)) - ground) < kInkContrast) continue;
      ink.columns[std::size_t(x)] = true;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ink.height = bottom >= top ? bottom - top + 1 : 0;
  return ink;
}

// The widest run of ink-free columns between two steps' middles, against the ink's height.
double gapBetween(const Ink& ink, std::size_t fromStep, std::size_t toStep) {
  const std::size_t from = fromStep * kStepWidth + kStepWidth / 2;
  const std::size_t to = std::min(ink.columns.size(), toStep * kStepWidth + kStepWidth / 2);
  std::size_t run = 0, widest = 0;
  for (std::size_t x = from; x < to; ++x) {
    run = ink.columns[x] ? 0 : run + 1;
    widest = std::max(widest, run);
  }
  return ink.height > 0 ? double(widest) / ink.height : 0.0;
}

std::vector<Step> bestSteps(const cv::Mat& out);

// One line read with a recogniser network of the given width; nothing when
// the network fails or answers in a shape that is not the model's.
std::optional<Reading> recogniseLine(cv::dnn::Net& net, const cv::Mat& crop, std::uint32_t width,
                                     const std::vector<std::string>& symbols) {
  const int scaled = int(std::min(scaledLineWidth(crop.cols, crop.rows), width));
  cv::Mat resized;
  cv::resize(crop, resized, cv::Size(std::max(scaled, 1), int(kLineHeight)), 0, 0, cv::INTER_LINEAR);
  auto out = forward(net, lineBlob(resized, int(width)));
  // Blank, the symbols and the space: anything else is not the model this was built for.
  if (!out || out->dims != 3 || std::size_t(out->size[2]) != symbols.size() + 2) return std::nullopt;
  const Ink ink = inkOf(resized);
  return decodeCtc(bestSteps(*out), symbols,
                   [&](std::size_t from, std::size_t to) { return gapBetween(ink, from, to); });
}

PixelBox boxOf(const cv::Rect& r) { return {double(r.x), double(r.y), double(r.x + r.width), double(r.y + r.height)}; }

cv::Rect rectOf(const PixelBox& b) {
  return cv::Rect(cv::Point(int(b.left), int(b.top)), cv::Point(int(b.right), int(b.bottom)));
}

// Two rows (or columns) look the same when no pixel differs by more than
// this: compression noise is still ground.
constexpr int kGroundTolerance = 6;

bool alike(int a, int b) { return std::abs(a - b) <= kGroundTolerance; }

std::vector<bool> repeatingRowsOf(const cv::Mat& image) {
  return repeatingRows(std::size_t(image.rows), [&](std::size_t a, std::size_t b) {
    const std::uint8_t *first = image.ptr<std::uint8_t>(int(a)), *row = image.ptr<std::uint8_t>(int(b));
    return std::equal(first, first + image.cols, row, alike);
  });
}

std::vector<bool> repeatingColumnsOf(const cv::Mat& image) {
  return repeatingRows(std::size_t(image.cols), [&](std::size_t a, std::size_t b) {
    for (int y = 0; y < image.rows; ++y) {
      const std::uint8_t* row = image.ptr<std::uint8_t>(y);
      if (!alike(row[a], row[b])) return false;
    }
    return true;
  });
}

// The image with only the rows and columns kept.
cv::Mat squeezedImage(const cv::Mat& image, const Squeeze& rows, const Squeeze& columns) {
  if (rows.kept.size() == std::size_t(image.rows) && columns.kept.size() == std::size_t(image.cols)) return image;
  cv::Mat squeezed(int(rows.kept.size()), int(columns.kept.size()), CV_8UC1);
  for (int y = 0; y < squeezed.rows; ++y) {
    const std::uint8_t* from = image.ptr<std::uint8_t>(int(rows.kept[std::size_t(y)]));
    std::uint8_t* to = squeezed.ptr<std::uint8_t>(y);
    for (int x = 0; x < squeezed.cols; ++x) to[x] = from[columns.kept[std::size_t(x)]];
  }
  return squeezed;
}

std::vector<Step> bestSteps(const cv::Mat& out) {
  std::vector<Step> steps;
  if (out.dims != 3) return steps;
  const int length = out.size[1], classes = out.size[2];
  for (int t = 0; t < length; ++t) {
    const float* p = out.ptr<float>(0, t);
    const std::size_t best = std::size_t(std::max_element(p, p + classes) - p);
    steps.push_back({best, p[best], p[classes - 1]});  // the space is the last class
  }
  return steps;
}

}  // namespace

std::optional<std::string> PpocrReader::detect(Pix* grey, std::uint32_t typicalGlyph,
                                               const std::function<void(std::vector<PixelBox>)>& found) {
  const cv::Mat image = matOf(grey);
  DetectorPlan plan = detectorPlan(image.cols, image.rows, typicalGlyph);
  cv::Mat scaled = image;
  if (plan.scale != 1.0) cv::resize(image, scaled, cv::Size(), plan.scale, plan.scale, cv::INTER_AREA);
  // Most of the flat ground left out, then the bands planned again for what is left.
  const std::uint32_t keep = groundKept(std::uint32_t(std::lround(typicalGlyph * plan.scale)));
  const Squeeze rows = squeeze(repeatingRowsOf(scaled), keep, kDetectorStride);
  const Squeeze columns = squeeze(repeatingColumnsOf(scaled), keep, kDetectorStride);
  const cv::Mat squeezed = squeezedImage(scaled, rows, columns);
  planBands(plan, squeezed.cols, squeezed.rows, typicalGlyph);

  // Band by band, each line reported by the band that owns its centre.
  const cv::Rect whole(0, 0, image.cols, image.rows);
  const int height = int(plan.bandHeight), width = int(plan.width);
  cv::dnn::Net net;  // one shape for every band
  for (const Strip& band : plan.bands) {
    if (net.empty()) {
      auto made = netFrom(detectorBytes_);
      if (!made) return failure(texts::kModelCorrupt, folder_ + "/det.onnx");
      net = std::move(*made);
    }
    const cv::Mat bandRows = squeezed.rowRange(int(band.top), int(band.bottom));
    auto out = forward(net, detectorBlob(bandRows, width, height));
    if (!out || out->dims != 4 || out->size[2] != height || out->size[3] != width) {
      return failure(texts::kModelCorrupt, folder_ + "/det.onnx");
    }
    const cv::Mat probability(height, width, CV_32F, out->ptr<float>(0, 0));
    std::vector<PixelBox> lines;
    for (const PixelBox& box : regions(probability(cv::Rect(0, 0, bandRows.cols, bandRows.rows)))) {
      if (!stripOwnsLine(band, band.top + std::uint32_t(box.top), band.top + std::uint32_t(box.bottom))) continue;
      const PixelBox grown = unclip(box);
      const cv::Rect rect(cv::Point(int(columns.start(grown.left) / plan.scale),
                                    int(rows.start(band.top + grown.top) / plan.scale)),
                          cv::Point(int(std::ceil(columns.end(grown.right) / plan.scale)),
                                    int(std::ceil(rows.end(band.top + grown.bottom) / plan.scale))));
      const cv::Rect clipped = rect & whole;
      if (clipped.width > 0 && clipped.height > 0) lines.push_back(boxOf(clipped));
    }
    found(std::move(lines));
  }
  return std::nullopt;
}

struct PpocrReader::LineReader::State {
  const PpocrReader& reader;
  cv::Mat image;
  std::vector<std::uint32_t> widths;
  std::vector<cv::dnn::Net> networks;  // one per width, in the order of widths

  cv::Rect rectFor(const PixelBox& line) const { return rectOf(line) & cv::Rect(0, 0, image.cols, image.rows); }
};

PpocrReader::LineReader::LineReader(const PpocrReader& reader, Pix* grey)
    : state_(std::make_unique<State>(State{reader, matOf(grey), {}, {}})) {}
PpocrReader::LineReader::~LineReader() = default;

std::uint32_t PpocrReader::LineReader::widthFor(const PixelBox& line) const {
  const cv::Rect rect = state_->rectFor(line);
  return lineWidthFor(scaledLineWidth(rect.width, rect.height));
}

const std::vector<std::uint32_t>& PpocrReader::LineReader::widths() const { return state_->widths; }

std::variant<std::optional<Reading>, std::string> PpocrReader::LineReader::read(const PixelBox& line) {
  using Result = std::variant<std::optional<Reading>, std::string>;
  const cv::Rect rect = state_->rectFor(line);
  if (rect.empty()) return Result(std::in_place_index<0>, std::nullopt);
  const std::uint32_t width = widthFor(line);
  const std::string path = state_->reader.folder_ + "/rec-" + std::to_string(width) + ".onnx";
  auto known = std::find(state_->widths.begin(), state_->widths.end(), width);
  if (known == state_->widths.end()) {
    std::string bytes;
    if (auto unread = readModelFile(path, bytes)) return Result(std::in_place_index<1>, *unread);
    auto made = netFrom(bytes);
    if (!made) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, path));
    state_->widths.push_back(width);
    state_->networks.push_back(std::move(*made));
    known = state_->widths.end() - 1;
  }
  cv::dnn::Net& net = state_->networks[std::size_t(known - state_->widths.begin())];
  auto read = recogniseLine(net, state_->image(rect), width, state_->reader.symbols_);
  if (!read) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, path));
  if (read->text.empty() || read->confidence < kMinLineConfidence) return Result(std::in_place_index<0>, std::nullopt);
  return Result(std::in_place_index<0>, std::move(*read));
}

std::variant<Reading, std::string> PpocrReader::readLine(Pix* line, std::uint32_t width) {
  using Result = std::variant<Reading, std::string>;
  const std::string path = folder_ + "/rec-" + std::to_string(width) + ".onnx";
  std::string bytes;
  if (auto unread = readModelFile(path, bytes)) return Result(std::in_place_index<1>, *unread);
  auto net = netFrom(bytes);
  if (!net) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, path));
  auto read = recogniseLine(*net, matOf(line), width, symbols_);
  if (!read) return Result(std::in_place_index<1>, failure(texts::kModelCorrupt, path));
  return Result(std::in_place_index<0>, std::move(*read));
}

}  // namespace quorvane::ocr
