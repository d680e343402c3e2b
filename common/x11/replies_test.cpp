#include "common/x11/replies.h"

#include <gtest/gtest.h>

#include "common/x11/fake_x_server.h"

namespace quorvane::x11 {
namespace {

using test::Bytes;
using test::Reply;
using test::received;

TEST(RepliesTest, PropertyValuesAreReadWithTheirTypeAndFormatAndOnlyWhenTheReplyHoldsThemAll) {
  using V = std::vector<std::uint32_t>;
  const std::string two("\1\0\0\0\2\0\0\0", 8);
  const struct { const char* what; Reply reply; V values; } cases[] = {
      {"two cardinals", test::propertyReply(32, XCB_ATOM_CARDINAL, 2, two), {1, 2}},
      {"another type", test::propertyReply(32, XCB_ATOM_WINDOW, 2, two), {}},
      {"bytes", test::propertyReply(8, XCB_ATOM_CARDINAL, 8, two), {}},
      {"no format", test::propertyReply(7, XCB_ATOM_CARDINAL, 2, two), {}},
      {"three declared, two held", test::propertyReply(32, XCB_ATOM_CARDINAL, 3, two), {}},
      {"a length that wraps in 32 bits", test::propertyReply(32, XCB_ATOM_CARDINAL, 0x40000001, two), {}},
  };
  for (const auto& c : cases) {
    auto bytes = received(c.reply);
    const auto* reply = reinterpret_cast<const xcb_get_property_reply_t*>(bytes.data());
    EXPECT_EQ(values32(reply, XCB_ATOM_CARDINAL), c.values) << c.what;
  }
  auto bytes = received(test::propertyReply(8, XCB_ATOM_STRING, 3, "abc"));
  EXPECT_EQ(propertyBytes(reinterpret_cast<const xcb_get_property_reply_t*>(bytes.data())), "abc");
  EXPECT_EQ(propertyBytes(nullptr), "");
}

TEST(RepliesTest, ItemsCountOnlyAsFarAsTheReplyReaches) {
  const auto bytes = received(Reply{0, Bytes().zeros(24).u32(1).u32(2).u32(3)});  // three words after the fixed part
  const std::uint8_t* first = bytes.data() + 32;
  EXPECT_EQ(replyEnd(bytes.data()), first + 12);
  EXPECT_EQ(std::tuple(itemsWithin(bytes.data(), first, 2, 4), itemsWithin(bytes.data(), first, 9, 4),
                       itemsWithin(bytes.data(), first + 4, 9, 8), itemsWithin(bytes.data(), first + 16, 1, 1)),
            std::tuple(2u, 3u, 1u, 0u));
  EXPECT_EQ(std::tuple(holds(bytes.data(), first, 12), holds(bytes.data(), first, 13),
                       holds(bytes.data(), first + 12, 0), holds(bytes.data(), first + 12, 1)),
            std::tuple(true, false, true, false));
}

}  // namespace
}  // namespace quorvane::x11
