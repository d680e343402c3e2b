#include "ocr/tesseract/backend.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

#include "ocr/image/image.h"

namespace quorvane::ocr {

InputBytes readAll(int fd, size_t maxBytes) {
  constexpr size_t kChunk = 1 << 16;
  InputBytes input;
  for (;;) {
    size_t before = input.bytes.size();
    input.bytes.resize(before + kChunk);
    ssize_t n;
    for (;;) {
      n = ::read(fd, input.bytes.data() + before, kChunk);
      if (n >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
      // A non-blocking input that is empty for now has not ended: wait for more.
      if (errno != EINTR) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, -1);
      }
    }
    input.bytes.resize(before + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    // A read error ends the input as its end does: what arrived is all there is.
    if (n <= 0) break;
    if (input.bytes.size() > maxBytes) {
      input.bytes.resize(maxBytes);
      input.overLimit = true;
      break;
    }
  }
  return input;
}

InputBytes TesseractBackend::readInput(size_t maxBytes) { return readAll(inputFd_, maxBytes); }

Decoded TesseractBackend::decode(const std::string& bytes) { return decodeImage(bytes); }

Recognition TesseractBackend::recognize(const Bitmap& bitmap, const std::vector<std::string>& languages) {
  return recognizer_.recognize(bitmap, languages);
}

}  // namespace quorvane::ocr
