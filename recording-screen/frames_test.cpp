#include "recording-screen/frames.h"

#include <gtest/gtest.h>

#include "recording-screen/fake_platform.h"
#include "recording-screen/texts.h"

namespace quorvane::recording {
namespace {

std::string bytes(std::initializer_list<unsigned> values) {
  std::string s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(RecordHeader, IsTheLengthBigEndian) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {123456, bytes({0x00, 0x01, 0xE2, 0x40})},
      {8388608, bytes({0x00, 0x80, 0x00, 0x00})},
      {4, bytes({0, 0, 0, 4})},
      {0xFFFFFFFF, bytes({0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const auto& [length, expected] : cases) EXPECT_EQ(recordHeader(length), expected) << length;
}

class FramesTest : public ::testing::Test {
 protected:
  fake::Encoder encoder;
  fake::Process process;
  Frames frames{encoder, process};

  std::size_t records() { return process.written().size(); }
};

TEST_F(FramesTest, WritesTheFirstCompleteFrameUnaskedAsOneRecordInOneWrite) {
  encoder.size = 300;
  EXPECT_EQ(frames.handle(fake::completeSample()), std::nullopt);
  auto w = process.written();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].substr(0, 4), bytes({0, 0, 1, 44}));
  EXPECT_EQ(w[0].size(), 4u + 300u);
  EXPECT_EQ(w[0][4], '1');  // the encoder's first byte follows the header
  // Nothing more until asked.
  EXPECT_EQ(frames.handle(fake::completeSample()), std::nullopt);
  EXPECT_EQ(records(), 1u);
  EXPECT_EQ(encoder.calls, 1);
}

TEST_F(FramesTest, FramesThatCannotAnswerLeaveTheRequestPending) {
  auto image = std::make_shared<fake::Image>();
  const std::pair<const char*, Sample> unusable[] = {
      {"audio", Sample{OutputType::audio, true, kFrameComplete, image}},
      {"invalid", Sample{OutputType::screen, false, kFrameComplete, image}},
      {"no status", Sample{OutputType::screen, true, std::nullopt, image}},
      {"idle", Sample{OutputType::screen, true, kFrameIdle, image}},
      {"other status", Sample{OutputType::screen, true, 3, image}},
      {"negative status", Sample{OutputType::screen, true, -1, image}},
      {"no image", Sample{OutputType::screen, true, kFrameComplete, nullptr}},
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

TEST_F(FramesTest, EncodedSizeMustBeBetweenFourBytesAndEightMebibytes) {
  struct Case {
    std::size_t size;
    bool written;
  };
  const Case cases[] = {{0, false}, {3, false}, {4, true}, {8388608, true}, {8388609, false}};
  for (const auto& c : cases) {
    fake::Encoder enc;
    fake::Process proc;
    Frames sink(enc, proc);
    enc.size = c.size;
    auto end = sink.handle(fake::completeSample());
    if (c.written) {
      EXPECT_EQ(end, std::nullopt) << c.size;
      ASSERT_EQ(proc.written().size(), 1u) << c.size;
      EXPECT_EQ(proc.written()[0].substr(0, 4), recordHeader(static_cast<std::uint32_t>(c.size)));
      EXPECT_EQ(proc.written()[0].size(), 4 + c.size);
    } else {
      EXPECT_EQ(end, failure(texts::kEncodeFailed)) << c.size;
      EXPECT_TRUE(proc.written().empty()) << c.size;
    }
  }
}

TEST_F(FramesTest, EncoderFailureAndUnreadablePixelsEndWithTheEncodingText) {
  encoder.fails = true;
  EXPECT_EQ(frames.handle(fake::completeSample()), failure(texts::kEncodeFailed));

  fake::Encoder good;
  fake::Process proc;
  Frames sink(good, proc);
  Sample unreadable{OutputType::screen, true, kFrameComplete, std::make_shared<fake::Image>(4, 2, false)};
  EXPECT_EQ(sink.handle(unreadable), failure(texts::kEncodeFailed));
  EXPECT_EQ(good.calls, 0);
}

TEST_F(FramesTest, WriteErrorsEndWithTheTransferTextAndTheDescription) {
  fake::Encoder enc;
  fake::Process proc;
  proc.failAfterWrites = 0;
  Frames sink(enc, proc);
  EXPECT_EQ(sink.handle(fake::completeSample()), failure(std::string(texts::kWriteFailed) + "Broken pipe"));
  EXPECT_TRUE(proc.written().empty());
}

TEST_F(FramesTest, PassesTheWholePictureToTheEncoder) {
  Sample big{OutputType::screen, true, kFrameComplete, std::make_shared<fake::Image>(640, 3)};
  frames.handle(big);
  EXPECT_EQ(encoder.lastWidth, 640u);
}

}  // namespace
}  // namespace quorvane::recording
