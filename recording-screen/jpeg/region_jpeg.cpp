#include "recording-screen/jpeg/banded_jpeg.h"

#include "recording-screen/jpeg/turbo_jpeg.h"  // the quality every encoder shares

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace quorvane::recording::jpeg {

namespace {

// No band may be larger than a whole frame may be; the writer sends nothing
// larger, so a band that grows past it fails the frame early.
constexpr std::size_t kMaxBandBytes = 8 * 1024 * 1024;
// Rows handed to the compressor per call: one MCU row.
constexpr std::uint32_t kRowsPerWrite = kMcuSide;

constexpr std::uint8_t kSoi = 0xD8, kSof0 = 0xC0, kSos = 0xDA;

// One band's compressed bytes, in a buffer of fixed capacity.
struct Band {
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
  bool ok = false;
};

// libjpeg ends the process on errors unless the handler leaves by longjmp.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void leaveOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorTrap*>(cinfo->err)->jump, 1); }

void stayQuiet(j_common_ptr) {}

struct Destination {
  jpeg_destination_mgr manager;
  Band* band;
};

void startBand(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->manager.next_output_byte = d->band->data.get();
  d->manager.free_in_buffer = kMaxBandBytes;
}

// The buffer is full: the band is over the limit, and so is the frame.
boolean bandOverflows(j_compress_ptr cinfo) {
  cinfo->err->msg_code = JERR_BUFFER_SIZE;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  return FALSE;
}

void finishBand(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->band->size = kMaxBandBytes - d->manager.free_in_buffer;
}

// The settings every band shares; they must match exactly for the segments to join.
void configure(jpeg_compress_struct& cinfo, std::uint32_t width, std::uint32_t rows, std::uint32_t restartInterval) {
  cinfo.image_width = width;
  cinfo.image_height = rows;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kJpegQuality, TRUE);
  jpeg_set_colorspace(&cinfo, JCS_YCbCr);
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 2;
  for (int c = 1; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  cinfo.dct_method = JDCT_IFAST;
  cinfo.optimize_coding = FALSE;
  cinfo.restart_interval = restartInterval;
}

// Compresses pixel rows [first, first + rows) as a JPEG file of its own. Only
// plain C objects live in this frame, so leaving it by longjmp is sound.
void compressRows(const PixelView& pixels, std::uint32_t first, std::uint32_t rows, std::uint32_t restartInterval,
                  Band& band) {
  jpeg_compress_struct cinfo{};  // zeroed, so a failure inside creation finds nothing to free
  ErrorTrap trap;
  Destination destination{{}, &band};
  cinfo.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = leaveOnError;
  trap.manager.output_message = stayQuiet;
  if (setjmp(trap.jump)) {
    jpeg_destroy_compress(&cinfo);
    band.ok = false;
    return;
  }
  jpeg_create_compress(&cinfo);
  destination.manager.init_destination = startBand;
  destination.manager.empty_output_buffer = bandOverflows;
  destination.manager.term_destination = finishBand;
  cinfo.dest = &destination.manager;
  configure(cinfo, pixels.width, rows, restartInterval);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rowPointers[kRowsPerWrite];
  while (cinfo.next_scanline < rows) {
    std::uint32_t batch = std::min(kRowsPerWrite, rows - cinfo.next_scanline);
    for (std::uint32_t i = 0; i < batch; ++i) {
      std::size_t y = std::size_t{first} + cinfo.next_scanline + i;
      // libjpeg reads input rows but takes them as writable.
      rowPointers[i] = const_cast<JSAMPROW>(pixels.bgrx + y * pixels.stride);
    }
    jpeg_write_scanlines(&cinfo, rowPointers, batch);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  band.ok = true;
}

std::uint16_t readU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

}  // namespace

std::optional<ScanLayout> scanLayout(std::string_view file) {
  const auto* p = reinterpret_cast<const unsigned char*>(file.data());
  const std::size_t n = file.size();
  if (n < 4 || p[0] != kMarker || p[1] != kSoi || p[n - 2] != kMarker || p[n - 1] != kEoi) return std::nullopt;
  ScanLayout layout;
  std::size_t at = 2;
  // Header segments up to the start of scan, each a marker and a length.
  while (at + 4 <= n && p[at] == kMarker) {
    std::uint8_t type = p[at + 1];
    std::size_t length = readU16(p + at + 2);
    if (length < 2 || at + 2 + length > n) return std::nullopt;
    if (type == kSof0) {
      if (length < 8) return std::nullopt;
      layout.heightAt = at + 5;
    }
    at += 2 + length;
    if (type == kSos) {
      if (layout.heightAt == 0 || at > n - 2) return std::nullopt;
      layout.scanBegin = at;
      layout.scanEnd = n - 2;
      return layout;
    }
  }
  return std::nullopt;
}

std::optional<std::string> compressRegion(const PixelView& pixels, std::uint32_t first, std::uint32_t rows,
                                          std::uint32_t restartInterval) {
  Band band;
  band.data.reset(new (std::nothrow) unsigned char[kMaxBandBytes]);
  if (!band.data) return std::nullopt;
  compressRows(pixels, first, rows, restartInterval, band);
  if (!band.ok) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(band.data.get()), band.size);
}

namespace {

// Band 0's headers and segment, then each later band's segment behind its
// restart marker, then EOI; the frame header gets the whole height.
std::optional<std::string> join(const std::vector<Band>& bands, std::uint32_t height) {
  std::vector<ScanLayout> layouts;
  std::size_t total = 0;
  for (const auto& band : bands) {
    auto layout = scanLayout(std::string_view(reinterpret_cast<const char*>(band.data.get()), band.size));
    if (!band.ok || !layout) return std::nullopt;
    layouts.push_back(*layout);
    total += layouts.size() == 1 ? layout->scanEnd : 2 + layout->scanEnd - layout->scanBegin;
  }
  std::string out;
  out.reserve(total + 2);
  const char* first = reinterpret_cast<const char*>(bands[0].data.get());
  out.append(first, layouts[0].scanEnd);
  out[layouts[0].heightAt] = static_cast<char>(height >> 8);
  out[layouts[0].heightAt + 1] = static_cast<char>(height & 0xFF);
  for (std::size_t i = 1; i < bands.size(); ++i) {
    out.push_back(static_cast<char>(kMarker));
    out.push_back(static_cast<char>(kRestartMarker0 + (i - 1) % kRestartMarkers));
    const char* data = reinterpret_cast<const char*>(bands[i].data.get());
    out.append(data + layouts[i].scanBegin, layouts[i].scanEnd - layouts[i].scanBegin);
  }
  out.push_back(static_cast<char>(kMarker));
  out.push_back(static_cast<char>(kEoi));
  return out;
}

}  // namespace

BandPlan planBands(std::uint32_t width, std::uint32_t height, std::uint32_t wanted) {
  BandPlan whole{1, height, 0};
  if (wanted < 2 || width == 0 || height == 0) return whole;
  const std::uint32_t mcuRows = (height + kMcuSide - 1) / kMcuSide;
  const std::uint32_t mcuColumns = (width + kMcuSide - 1) / kMcuSide;
  const std::uint32_t rowsPerBand = (mcuRows + wanted - 1) / wanted;
  const std::uint32_t bands = (mcuRows + rowsPerBand - 1) / rowsPerBand;
  const std::uint64_t interval = std::uint64_t{rowsPerBand} * mcuColumns;
  // Every band but the last must be exactly one restart interval.
  if (bands < 2 || interval > kMaxRestartInterval) return whole;
  return BandPlan{bands, rowsPerBand * kMcuSide, static_cast<std::uint32_t>(interval)};
}

std::optional<std::string> encodeBanded(const PixelView& pixels, const BandPlan& plan) {
  if (!pixels.bgrx || pixels.width == 0 || pixels.height == 0 || plan.bands == 0) return std::nullopt;
  if (pixels.width > JPEG_MAX_DIMENSION || pixels.height > JPEG_MAX_DIMENSION) return std::nullopt;
  if (plan.bands > 1 && std::uint64_t{plan.bandRows} * (plan.bands - 1) >= pixels.height) return std::nullopt;
  // Out of memory or threads is a frame that fails, never an abort.
  std::vector<Band> bands(plan.bands);
  for (auto& band : bands) {
    band.data.reset(new (std::nothrow) unsigned char[kMaxBandBytes]);
    if (!band.data) return std::nullopt;
  }
  auto rowsOf = [&](std::uint32_t i) {
    return i + 1 < plan.bands ? plan.bandRows : pixels.height - plan.bandRows * (plan.bands - 1);
  };
  auto compress = [&](std::uint32_t i) {
    compressRows(pixels, plan.bandRows * i, rowsOf(i), plan.restartInterval, bands[i]);
  };
  std::vector<std::thread> helpers;
  std::uint32_t inline_ = plan.bands;  // bands from here on run on this thread
  for (std::uint32_t i = 1; i < plan.bands; ++i) {
    try {
      helpers.emplace_back(compress, i);
    } catch (const std::exception&) {
      inline_ = i;
      break;
    }
  }
  compress(0);
  for (std::uint32_t i = inline_; i < plan.bands; ++i) compress(i);
  for (auto& helper : helpers) helper.join();
  if (plan.bands == 1) {
    if (!bands[0].ok) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bands[0].data.get()), bands[0].size);
  }
  return join(bands, pixels.height);
}

}  // namespace quorvane::recording::jpeg
