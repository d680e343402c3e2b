#include "tests/support/progressive_jpeg.h"

#include <cstdlib>

namespace quorvane::test {

std::string progressiveGreyJpeg(int side, const std::vector<jpeg_scan_info>& scans) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  unsigned char* out = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = cinfo.image_height = static_cast<JDIMENSION>(side);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.scan_info = scans.data();
  cinfo.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(side));
  for (JSAMPROW rows[] = {row.data()}; cinfo.next_scanline < cinfo.image_height;
       jpeg_write_scanlines(&cinfo, rows, 1)) {
    for (int x = 0; x < side; ++x) row[x] = static_cast<JSAMPLE>(x * 7 + cinfo.next_scanline * 13);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(out), size);
  std::free(out);
  return bytes;
}

}  // namespace quorvane::test
