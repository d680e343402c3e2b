#include "recording-screen/jpeg/region_jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "common/jpeg_markers.h"

namespace quorvane::recording::jpeg {

namespace {

// No file may be larger than a whole frame may be; the writer sends nothing
// larger, so rows that grow past it fail the frame early.
constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;
// Rows handed to the compressor per call: one MCU row.
constexpr std::uint32_t kRowsPerWrite = kMcuSide;

// One file's compressed bytes, in a buffer of fixed capacity.
struct Output {
  unsigned char* data;
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
  Output* out;
};

void startOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->manager.next_output_byte = d->out->data;
  d->manager.free_in_buffer = kMaxFileBytes;
}

// The buffer is full: the file is over the limit, and so is the frame.
boolean outputOverflows(j_compress_ptr cinfo) {
  cinfo->err->msg_code = JERR_BUFFER_SIZE;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  return FALSE;
}

void finishOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->out->size = kMaxFileBytes - d->manager.free_in_buffer;
}

// The settings every file shares; they must match exactly for the segments to splice.
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
                  Output& out) {
  jpeg_compress_struct cinfo{};  // zeroed, so a failure inside creation finds nothing to free
  ErrorTrap trap;
  Destination destination{{}, &out};
  cinfo.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = leaveOnError;
  trap.manager.output_message = stayQuiet;
  if (setjmp(trap.jump)) {
    jpeg_destroy_compress(&cinfo);
    out.ok = false;
    return;
  }
  jpeg_create_compress(&cinfo);
  destination.manager.init_destination = startOutput;
  destination.manager.empty_output_buffer = outputOverflows;
  destination.manager.term_destination = finishOutput;
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
  out.ok = true;
}

}  // namespace

std::optional<ScanLayout> scanLayout(std::string_view file) {
  const auto* p = reinterpret_cast<const unsigned char*>(file.data());
  const std::size_t n = file.size();
  if (n < 4 || p[n - 2] != kJpegMarker || p[n - 1] != kJpegEoi) return std::nullopt;
  ScanLayout layout;
  JpegMarkers markers(file);
  while (auto segment = markers.next()) {
    if (segment->marker == kJpegSof0) {
      constexpr std::size_t kHeightInBody = 1;  // after the sample precision
      if (segment->body.size() < 6) return std::nullopt;
      layout.heightAt = segment->at + 4 + kHeightInBody;
    }
    if (segment->marker == kJpegSos) {
      if (layout.heightAt == 0 || segment->end() > n - 2) return std::nullopt;
      layout.scanBegin = segment->end();
      layout.scanEnd = n - 2;
      return layout;
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> RegionCompressor::compress(const PixelView& pixels, std::uint32_t first,
                                                           std::uint32_t rows, std::uint32_t restartInterval) {
  // Allocated once and left untouched until written: a frame reuses the pages
  // the last one faulted in.
  if (!buffer_) buffer_.reset(new (std::nothrow) unsigned char[kMaxFileBytes]);
  if (!buffer_) return std::nullopt;
  Output out{buffer_.get()};
  compressRows(pixels, first, rows, restartInterval, out);
  if (!out.ok) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(buffer_.get()), out.size);
}

std::optional<std::string> compressRegion(const PixelView& pixels, std::uint32_t first, std::uint32_t rows,
                                          std::uint32_t restartInterval) {
  RegionCompressor compressor;
  auto file = compressor.compress(pixels, first, rows, restartInterval);
  if (!file) return std::nullopt;
  return std::string(*file);
}

}  // namespace quorvane::recording::jpeg
