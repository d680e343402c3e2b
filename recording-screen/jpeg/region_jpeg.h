// One libjpeg compressor over a run of pixel rows, and where its file keeps
// what splicing needs. The row encoder builds every record from such files.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/jpeg_markers.h"
#include "recording-screen/capture.h"
#include "recording-screen/changed_rows.h"

namespace quorvane::recording::jpeg {

// The quality of every frame, as the application's own encoder would have it.
inline constexpr int kJpegQuality = 92;

// Largest restart interval a DRI marker can carry, in MCUs.
inline constexpr std::uint32_t kMaxRestartInterval = 65535;

// The JPEG file of pixel rows [first, first + rows) alone, as one compressor
// writes it with the given restart interval (MCUs; 0: none). Every file has the
// same settings, so that rows of different files can be spliced: quality 92,
// 4:2:0, the fast DCT, standard Huffman tables (optimised ones differ per
// file). nullopt when the library refuses it or it outgrows a record.
std::optional<std::string> compressRegion(const PixelView& pixels, std::uint32_t first, std::uint32_t rows,
                                          std::uint32_t restartInterval);

// The same, written into a buffer this object keeps: the view holds until the
// next call. One per thread.
class RegionCompressor {
 public:
  std::optional<std::string_view> compress(const PixelView& pixels, std::uint32_t first, std::uint32_t rows,
                                           std::uint32_t restartInterval);

 private:
  std::unique_ptr<unsigned char[]> buffer_;
};

// Where a compressor's file keeps what a spliced file needs: the height field of
// its frame header and the bounds of its entropy-coded data.
struct ScanLayout {
  std::size_t heightAt = 0;
  std::size_t scanBegin = 0;
  std::size_t scanEnd = 0;  // the final EOI
};
std::optional<ScanLayout> scanLayout(std::string_view file);

inline constexpr unsigned char kRestartMarker0 = 0xD0;  // RST0..RST7, used in turn
inline constexpr unsigned kRestartMarkers = 8;

}  // namespace quorvane::recording::jpeg
