// PNG chunk lengths checked before libpng sees them.
#pragma once

#include <string_view>

namespace quorvane {

// True when every chunk up to IEND (or the end of the bytes) but image data
// fits in the bytes that are there, a chunk cut inside its header included. libpng allocates a chunk's declared length
// before reading it: a 150-byte file declaring a 2 GB text chunk costs 2 GB.
// Image data is read as a stream, so a cut one is left for the decoder to
// report. Whether the bytes start with the PNG signature is not checked here.
bool pngChunksFit(std::string_view png);

}  // namespace quorvane
