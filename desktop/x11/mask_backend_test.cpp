#include "desktop/x11/mask_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvane::desktop::x11 {
namespace {

TEST(LastCoverExposedTest, CountsOnlyTheServersExposeOfEachCover) {
  auto expose = [](xcb_window_t w, bool sent) {
    xcb_expose_event_t e{};
    e.response_type = static_cast<std::uint8_t>(XCB_EXPOSE | (sent ? 0x80 : 0));
    e.window = w;
    return e;
  };
  std::vector<xcb_window_t> unexposed{10, 11};
  const struct {
    xcb_expose_event_t event;
    bool last;
  } steps[] = {{expose(10, true), false}, {expose(11, true), false},  {expose(10, false), false},
               {expose(99, false), false}, {expose(10, false), false}, {expose(11, false), true}};
  for (const auto& s : steps) {
    EXPECT_EQ(lastCoverExposed(unexposed, reinterpret_cast<const xcb_generic_event_t&>(s.event)), s.last)
        << s.event.window << (s.event.response_type & 0x80 ? " sent" : "");
  }
}

TEST(ReadControlChunkTest, NothingYetOnANonBlockingStreamIsNotTheEnd) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  EXPECT_EQ(readControlChunk(fds[0]), std::nullopt);
  ASSERT_EQ(write(fds[1], "stop\n", 5), 5);
  EXPECT_EQ(readControlChunk(fds[0]), "stop\n");
  close(fds[1]);
  EXPECT_EQ(readControlChunk(fds[0]), "");
  close(fds[0]);
}

}  // namespace
}  // namespace quorvane::desktop::x11
