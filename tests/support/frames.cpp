#include "tests/support/frames.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include <turbojpeg.h>

#include "recording-screen/frame_record.h"

namespace quorvane::test {

std::uint32_t Picture::at(int x, int y) const {
  const auto* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

std::optional<Picture> readPicture(const std::function<std::optional<std::string>(std::size_t)>& read) {
  auto header = read(recording::kRecordHeaderBytes);
  auto length = header ? recording::recordLength(*header) : 0;
  auto jpeg = recording::validRecordLength(length) ? read(length) : std::nullopt;
  if (!jpeg) return std::nullopt;
  tjhandle h = tjInitDecompress();
  Picture p;
  int sub = 0, space = 0;
  const auto* data = reinterpret_cast<const unsigned char*>(jpeg->data());
  bool ok = tjDecompressHeader3(h, data, jpeg->size(), &p.width, &p.height, &sub, &space) == 0;
  if (ok) p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
  ok = ok && tjDecompress2(h, data, jpeg->size(), p.rgb.data(), p.width, 0, p.height, TJPF_RGB, 0) == 0;
  tjDestroy(h);
  return ok ? std::optional(p) : std::nullopt;
}

std::size_t RecordReader::next(milliseconds wait) {
  char header[recording::kRecordHeaderBytes];
  size_ = 0;
  if (!streamer_.readInto(header, sizeof header, wait)) return 0;
  const std::size_t length = recording::recordLength(std::string_view(header, sizeof header));
  if (!recording::validRecordLength(static_cast<std::uint32_t>(length))) throw std::runtime_error("a record of a bad length");
  if (buffer_.size() < length) buffer_.resize(length);
  if (!streamer_.readInto(buffer_.data(), length, std::chrono::seconds(30))) throw std::runtime_error("a record cut short");
  size_ = length;
  return length;
}

std::optional<Picture> readPicture(Child& streamer, milliseconds timeout) {
  return readPicture([&](std::size_t n) { return streamer.readBytes(n, timeout); });
}

std::optional<Picture> readPicture(int fd) {
  return readPicture([fd](std::size_t n) -> std::optional<std::string> {
    std::string bytes(n, '\0');
    for (std::size_t done = 0; done < n;) {
      ssize_t got = ::read(fd, bytes.data() + done, n - done);
      if (got <= 0) return std::nullopt;
      done += static_cast<std::size_t>(got);
    }
    return bytes;
  });
}

bool near(std::uint32_t got, std::uint32_t want, int tolerance) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>(got >> shift & 0xFF) - static_cast<int>(want >> shift & 0xFF)) > tolerance)
      return false;
  }
  return true;
}

}  // namespace quorvane::test
