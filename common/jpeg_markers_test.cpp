#include "common/jpeg_markers.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace quorvane {
namespace {

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

// A segment with a length field around `body`.
std::string segment(int marker, const std::string& body) {
  auto length = body.size() + 2;
  return bytes({0xFF, marker, int(length >> 8), int(length & 0xFF)}) + body;
}

// The markers met, in hex, each with its body's size where it has a body; then "end" if the walk reached EOI.
std::string walk(const std::string& jpeg) {
  JpegMarkers markers(jpeg);
  std::string seen;
  char item[16];
  while (auto s = markers.next()) {
    std::snprintf(item, sizeof item, s->body.empty() ? "%02X@%zu " : "%02X:%zu ", s->marker,
                  s->body.empty() ? s->at : s->body.size());
    seen += item;
  }
  return seen + (markers.reachedEnd() ? "end" : "stop");
}

TEST(JpegMarkersTest, MeetsTheMarkersWhereTheDecoderDoes) {
  const std::string soi = bytes({0xFF, 0xD8}), eoi = bytes({0xFF, 0xD9}), app = segment(0xE0, "JFIF");
  const struct { const char* name; std::string jpeg; std::string seen; } cases[] = {
      {"headers, a scan, the end", soi + app + segment(0xDA, "s") + "data" + eoi, "E0:4 DA:1 end"},
      {"no start of image", app + eoi, "stop"},
      {"cut before the end", soi + app, "E0:4 stop"},
      {"a segment longer than the bytes left", soi + segment(0xFE, std::string(10, 'c')).substr(0, 8), "stop"},
      {"a marker without its length", soi + bytes({0xFF, 0xFE, 0x00}), "stop"},
      // TEM and the restart markers carry no length: what follows is the next marker.
      {"TEM, then a comment", soi + bytes({0xFF, 0x01}) + segment(0xFE, "xx") + eoi, "01@2 FE:2 end"},
      {"restarts and stuffed zeros in scan data",
       soi + segment(0xDA, "s") + bytes({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56}) + eoi, "DA:1 D3@11 end"},
      {"fill bytes before a marker", soi + bytes({0xFF, 0xFF, 0xFF}) + app + eoi, "E0:4 end"},
      {"stray bytes between segments are skipped", soi + "junk" + app + eoi, "E0:4 end"},
      {"a length under two skips nothing", soi + bytes({0xFF, 0xFE, 0x00, 0x01}) + app + eoi, "FE@2 E0:4 end"},
      {"an end of image inside a comment is no end", soi + segment(0xFE, bytes({0xFF, 0xD9})) + app + eoi,
       "FE:2 E0:4 end"},
  };
  for (const auto& c : cases) EXPECT_EQ(walk(c.jpeg), c.seen) << c.name;
}

TEST(JpegMarkersTest, CoefficientBytesFollowEachComponentsSampling) {
  // A frame header's body: precision, height, width, components (id, sampling, table).
  auto frame = [](int height, int width, std::initializer_list<int> samplings) {
    std::string body = bytes({8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, int(samplings.size())});
    for (int s : samplings) body += bytes({1, s, 0});
    return body;
  };
  EXPECT_EQ(jpegCoefficientBytes(frame(256, 256, {0x11})), 256u * 256u * 2u);
  // 4:2:0 at 17 x 17: luma 3 x 3 blocks, each chroma 2 x 2 of its halved picture (9 pixels across).
  EXPECT_EQ(jpegCoefficientBytes(frame(17, 17, {0x22, 0x11, 0x11})), (9u + 4u + 4u) * 128u);
  EXPECT_EQ(jpegCoefficientBytes(frame(17, 17, {0x22, 0x11, 0x11}).substr(0, 10)), std::nullopt);
  EXPECT_EQ(std::tuple(isJpegFrameHeader(0xC2), isJpegFrameHeader(0xC4), isProgressiveFrame(0xC2),
                       isProgressiveFrame(0xC1), isProgressiveFrame(0xCA)),
            std::tuple(true, false, true, false, true));
}

}  // namespace
}  // namespace quorvane
