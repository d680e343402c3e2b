// The EXIF orientation of a JPEG, which Leptonica does not apply. Phone and
// camera pictures pasted into a screenshot tool carry it.
#pragma once

#include <string_view>

namespace quorvane::ocr {

// 1 (as stored) to 8, from the first EXIF block's IFD0 Orientation tag; 1 when
// the bytes are no JPEG, carry no EXIF, or the tag is missing or out of range.
// Reads only within the bytes, however they lie about lengths and offsets.
int jpegOrientation(std::string_view jpeg);

}  // namespace quorvane::ocr
