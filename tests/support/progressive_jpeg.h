// Progressive JPEGs with a chosen scan script, for the decoders' scan limits.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace quorvane::test {

// A valid grey side x side JPEG written with `scans` (libjpeg's scan script),
// with detail in every block: each scan is a legal decoder pass.
std::string progressiveGreyJpeg(int side, const std::vector<jpeg_scan_info>& scans);

}  // namespace quorvane::test
