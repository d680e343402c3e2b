#include "recording-screen/frames.h"

#include <functional>

#include <gtest/gtest.h>

#include "recording-screen/fake_capture.h"
#include "recording-screen/frame_record.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

class FramesTest : public ::testing::Test {
 protected:
  fake::Encoder encoder;
  fake::Output output;
  Frames frames{encoder, output};

  std::size_t records() { return output.written().size(); }
};

TEST_F(FramesTest, WritesTheFirstCompleteFrameUnaskedAsOneRecordInOneWrite) {
  encoder.size = 300;
  EXPECT_EQ(frames.handle(fake::completeSample()), std::nullopt);
  auto w = output.written();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], recordHeader(300) + '1' + std::string(299, 'j'));
  // Nothing more until asked.
  EXPECT_EQ(frames.handle(fake::completeSample()), std::nullopt);
  EXPECT_EQ(records(), 1u);
  EXPECT_EQ(encoder.calls, 1);
}

TEST_F(FramesTest, FramesThatCannotAnswerLeaveTheRequestPending) {
  auto image = std::make_shared<fake::Image>();
  const std::pair<const char*, Sample> unusable[] = {
      {"invalid", Sample{false, kFrameComplete, image}},
      {"no status", Sample{true, std::nullopt, image}},
      {"idle", Sample{true, kFrameIdle, image}},
      {"other status", Sample{true, 3, image}},
      {"negative status", Sample{true, -1, image}},
      {"no image", Sample{true, kFrameComplete, nullptr}},
  };
  for (const auto& [name, sample] : unusable) {
    EXPECT_EQ(frames.handle(sample), std::nullopt) << name;
    EXPECT_EQ(records(), 0u) << name;
  }
  EXPECT_EQ(encoder.calls, 0);
  // The pending first request is answered by the next complete frame.
  frames.handle(fake::completeSample());
  EXPECT_EQ(records(), 1u);
}

TEST_F(FramesTest, RequestsAreAFlagNotACounter) {
  frames.handle(fake::completeSample());
  for (int i = 0; i < 3; ++i) frames.request();
  frames.handle(fake::idleSample());
  frames.handle(fake::completeSample());
  frames.handle(fake::completeSample());
  EXPECT_EQ(records(), 2u);
  frames.request();
  frames.handle(fake::completeSample());
  EXPECT_EQ(records(), 3u);
  EXPECT_EQ(encoder.calls, 3);
}

// Each way a requested frame can fail, and the sizes at the limits that pass.
TEST(FrameFailures, EndWithTheirTextsAndWriteNothing) {
  struct Case {
    const char* name;
    std::function<void(fake::Encoder&, fake::Output&)> setup;
    bool readable;
    Outcome expected;
  };
  auto sized = [](std::size_t n) { return [n](fake::Encoder& e, fake::Output&) { e.size = n; }; };
  const Case cases[] = {
      {"encoder fails", [](fake::Encoder& e, fake::Output&) { e.fails = true; }, true, failure(texts::kEncodeFailed)},
      {"pixels unreadable", sized(16), false, failure(texts::kEncodeFailed)},
      {"empty", sized(0), true, failure(texts::kEncodeFailed)},
      {"3 bytes", sized(3), true, failure(texts::kEncodeFailed)},
      {"4 bytes", sized(4), true, std::nullopt},
      {"8 MiB", sized(8388608), true, std::nullopt},
      {"8 MiB + 1", sized(8388609), true, failure(texts::kEncodeFailed)},
      {"write error", [](fake::Encoder&, fake::Output& o) { o.failAfterWrites = 0; }, true,
       failure(std::string(texts::kWriteFailed) + "Broken pipe")},
  };
  for (const auto& c : cases) {
    fake::Encoder encoder;
    fake::Output output;
    c.setup(encoder, output);
    Frames frames(encoder, output);
    Sample sample{true, kFrameComplete, std::make_shared<fake::Image>(640, 3, c.readable)};
    EXPECT_EQ(frames.handle(sample), c.expected) << c.name;
    EXPECT_EQ(encoder.calls, c.readable ? 1 : 0) << c.name;
    EXPECT_EQ(output.written().size(), c.expected ? 0u : 1u) << c.name;
    if (!c.expected) {
      EXPECT_EQ(output.written()[0].size(), 4 + encoder.size) << c.name;
      EXPECT_EQ(encoder.lastWidth, 640u) << c.name;  // the whole picture
    }
  }
}

}  // namespace
}  // namespace quorvane::recording
