// Text detection and recognition with PP-OCR's networks on OpenCV's DNN
// module: a DB detector finds the lines, an SVTR recogniser reads each one.
// The networks come from the models folder (rewrite_models.py made them).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ocr/reading_plan.h"

struct Pix;

namespace quorvane::ocr {

// Where the models are: QUORVANE_OCR_MODELS when set (development builds and
// their tests), else the folder installed beside the program.
std::string modelFolder();

// Reads one model file whole into bytes; a description naming the file when
// it cannot be read.
std::optional<std::string> readModelFile(const std::string& path, std::string& bytes);

class PpocrReader {
 public:
  // Reads the detector and the symbol list; the recogniser widths are read
  // when a line first needs them. A failure names the file.
  static std::variant<std::unique_ptr<PpocrReader>, std::string> open(const std::string& folder);
  ~PpocrReader();

  // The lines of text in an 8-bit grey image, in its pixels, handed to
  // `found` band by band as the detector finds them; or a failure naming the
  // model file that could not be used. typicalGlyph picks the detector's scale.
  std::optional<std::string> detect(Pix* grey, std::uint32_t typicalGlyph,
                                    const std::function<void(std::vector<PixelBox>)>& found);

  // Reads lines of one image on one thread, with a recogniser network of its
  // own for each width it meets (a network is not shared between threads).
  class LineReader {
   public:
    LineReader(const PpocrReader& reader, Pix* grey);
    ~LineReader();
    // The recogniser width a line of the image takes.
    std::uint32_t widthFor(const PixelBox& line) const;
    // The widths it holds networks for.
    const std::vector<std::uint32_t>& widths() const;
    // The line read; nothing when there is nothing to read or it reads with
    // too little confidence; or a failure naming the model file that could
    // not be used.
    std::variant<std::optional<Reading>, std::string> read(const PixelBox& line);

   private:
    struct State;
    std::unique_ptr<State> state_;
  };

  // One line image (8-bit grey) read with the recogniser of one width.
  std::variant<Reading, std::string> readLine(Pix* line, std::uint32_t width);

 private:
  PpocrReader(std::string folder, std::vector<std::string> symbols, std::string detector);
  std::string folder_;
  std::vector<std::string> symbols_;
  std::string detectorBytes_;
};

}  // namespace quorvane::ocr
