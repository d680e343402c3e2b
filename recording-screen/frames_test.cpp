#include "recording-screen/frames.h"

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/frame_record.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
// The first complete frame goes unasked; after that, requests are a flag, not
// a counter, and frames that cannot answer leave it set.
TEST(Frames, AnswerEachRequestWithTheNextCompleteFrame) {
  fake::World w;
  Frames frames(w, w);
  auto image = std::make_shared<fake::Image>();
  for (const Sample& unusable : {Sample{false, kFrameComplete, image}, Sample{true, std::nullopt, image},
                                 fake::sample(kFrameIdle), Sample{true, 3, image},
                                 Sample{true, kFrameComplete, nullptr}}) {
    // Nothing written: the request the first frame answers is still pending.
    EXPECT_EQ(std::tuple(frames.handle(unusable), w.records.size()), std::tuple(Outcome{}, std::size_t{0}));
  }
  EXPECT_EQ(frames.handle(fake::sample()), std::nullopt);
  ASSERT_EQ(w.records, std::vector<std::string>{recordHeader(16) + "1" + std::string(15, 'j')});  // in one write
  for (int request : {0, 3, 0, 0, 1}) {  // requests before each complete frame
    for (int i = 0; i < request; ++i) frames.request();
    frames.handle(fake::sample());
  }
  EXPECT_EQ(std::make_pair(w.records.size(), w.encodes), std::make_pair(std::size_t{3}, 3));  // one encode each
}

// Each way a requested frame can fail, and the sizes at the limits that pass,
// for a JPEG in one part or in several: the limits hold for the whole file.
TEST(Frames, AFrameThatCannotBeARecordEndsTheStreamAndWritesNothing) {
  const std::tuple<std::optional<std::size_t>, bool, bool> cases[] = {  // JPEG size, pixels readable, written
      {std::nullopt, true, false}, {16, false, false}, {3, true, false},
      {4, true, true}, {kMaxJpegBytes, true, true}, {kMaxJpegBytes + 1, true, false}};
  for (std::size_t parts : {1, 3}) {
    for (const auto& [size, readable, written] : cases) {
      SCOPED_TRACE(std::to_string(size.value_or(0)) + " in " + std::to_string(parts));
      fake::World w;
      w.jpegSize = size;
      w.jpegParts = parts;
      auto outcome = Frames(w, w).handle(Sample{true, kFrameComplete, std::make_shared<fake::Image>(readable)});
      EXPECT_EQ(outcome, written ? Outcome{} : failure(texts::kEncodeFailed));
      EXPECT_EQ(w.encodes, readable ? 1 : 0);
      EXPECT_EQ(w.records.size(), written ? 1u : 0u);
    }
  }
}

// A JPEG handed out in parts is one record: the header counts them all, and
// they follow it in order, in the same write.
TEST(Frames, AJpegInPartsIsOneRecord) {
  fake::World w;
  w.jpegSize = 17;
  w.jpegParts = 3;
  EXPECT_EQ(Frames(w, w).handle(fake::sample()), std::nullopt);
  EXPECT_EQ(w.records, std::vector<std::string>{recordHeader(17) + "1" + std::string(16, 'j')});
}

}  // namespace quorvane::recording
