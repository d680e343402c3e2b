#include "recording-screen/frames.h"

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/frame_record.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

// The first complete frame goes unasked; after that, requests are a flag, not
// a counter, and frames that cannot answer leave it set.
TEST(Frames, AnswerEachRequestWithTheNextCompleteFrame) {
  fake::World w;
  Frames frames(w, w);
  auto image = std::make_shared<fake::Image>();
  const std::pair<const char*, Sample> unusable[] = {
      {"invalid", Sample{false, kFrameComplete, image}}, {"no status", Sample{true, std::nullopt, image}},
      {"idle", fake::sample(kFrameIdle)},                {"other status", Sample{true, 3, image}},
      {"no image", Sample{true, kFrameComplete, nullptr}},
  };
  for (const auto& [name, sample] : unusable) EXPECT_EQ(frames.handle(sample), std::nullopt) << name;
  EXPECT_EQ(w.records.size(), 0u);
  EXPECT_EQ(frames.handle(fake::sample()), std::nullopt);
  ASSERT_EQ(w.records, std::vector<std::string>{recordHeader(16) + "1" + std::string(15, 'j')});  // in one write
  frames.handle(fake::sample());
  for (int i = 0; i < 3; ++i) frames.request();
  frames.handle(fake::sample(kFrameIdle));
  frames.handle(fake::sample());
  frames.handle(fake::sample());
  EXPECT_EQ(w.records.size(), 2u);
  frames.request();
  frames.handle(fake::sample());
  EXPECT_EQ(w.records.size(), 3u);
  EXPECT_EQ(w.encodes, 3);
}

// Each way a requested frame can fail, and the sizes at the limits that pass.
TEST(Frames, AFrameThatCannotBeARecordEndsTheStreamAndWritesNothing) {
  struct Case {
    const char* name;
    std::optional<std::size_t> size;
    bool readable;
    bool written;
  };
  const Case cases[] = {
      {"encoder fails", std::nullopt, true, false}, {"pixels unreadable", 16, false, false},
      {"3 bytes", 3, true, false},                  {"4 bytes", 4, true, true},
      {"8 MiB", kMaxJpegBytes, true, true},         {"8 MiB + 1", kMaxJpegBytes + 1, true, false},
  };
  for (const auto& c : cases) {
    fake::World w;
    w.jpegSize = c.size;
    Frames frames(w, w);
    auto outcome = frames.handle(Sample{true, kFrameComplete, std::make_shared<fake::Image>(640, c.readable)});
    EXPECT_EQ(outcome, c.written ? Outcome{} : failure(texts::kEncodeFailed)) << c.name;
    EXPECT_EQ(w.encodes, c.readable ? 1 : 0) << c.name;
    ASSERT_EQ(w.records.size(), c.written ? 1u : 0u) << c.name;
    EXPECT_EQ(c.written ? w.records[0].size() : 0, c.written ? 4 + *c.size : 0) << c.name;
    EXPECT_EQ(w.encodedWidth, c.readable ? 640u : 0u) << c.name;  // the whole picture
  }
}

}  // namespace
}  // namespace quorvane::recording
