// JPEG encoding of large frames on several cores. The picture is cut into
// horizontal bands of whole MCU rows; each band is compressed by its own
// libjpeg compressor on its own thread, and the bands' entropy-coded segments
// are joined with restart markers into one baseline JPEG. The restart interval
// is one band, so the file is byte for byte what a single compressor writes
// with the same interval: restarts reset the DC predictors, and 4:2:0
// downsampling never looks across a 16-row boundary.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recording-screen/capture.h"

namespace quorvane::recording::jpeg {

// The marker bytes the joining and the splicing look for.
inline constexpr std::uint8_t kMarker = 0xFF, kEoi = 0xD9;

// MCUs of 4:2:0 colour: 16 x 16 pixels.
inline constexpr std::uint32_t kMcuSide = 16;
// Largest restart interval a DRI marker can carry, in MCUs.
inline constexpr std::uint32_t kMaxRestartInterval = 65535;

// Whole frames of 3840 x 2160 pixels and more are encoded on two threads, one
// per core of a small machine; the row encoder's threads take pieces in turn,
// so a thread scheduled late costs about one piece. At 1080p two threads did
// not pay on two busy cores: over twelve interleaved runs of the full-change
// bench they took the delay from 1.18x to 1.22x of the baseline and the CPU
// from 1.10x to 1.17x.
inline constexpr std::uint64_t kBandedMinPixels = 3840 * 2160;

struct BandPlan {
  std::uint32_t bands = 1;
  std::uint32_t bandRows = 0;         // pixel rows of every band but the last
  std::uint32_t restartInterval = 0;  // MCUs per band; 0 = no restarts
};

// How to cut a picture into at most `wanted` bands: fewer when it has too few
// MCU rows, one (no restarts) when a band would not fit a restart interval.
BandPlan planBands(std::uint32_t width, std::uint32_t height, std::uint32_t wanted);

// Encodes as `plan` says: quality 92, 4:2:0, the fast DCT, standard Huffman
// tables (per-band optimised tables could not be joined). Band 0 is encoded on
// the calling thread, the others on threads of their own that are joined
// before it returns. nullopt when the library refuses the picture.
std::optional<std::string> encodeBanded(const PixelView& pixels, const BandPlan& plan);

// The JPEG file of pixel rows [first, first + rows) alone, as one compressor
// writes it with the given restart interval (MCUs; 0: none), in the settings
// above; nullopt when the library refuses it or it outgrows a record.
std::optional<std::string> compressRegion(const PixelView& pixels, std::uint32_t first, std::uint32_t rows,
                                          std::uint32_t restartInterval);

// Where a compressor's file keeps what a joined file needs: the height field of
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
