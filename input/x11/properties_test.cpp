#include "input/x11/properties.h"

#include <gtest/gtest.h>

#include "common/x11/fake_x_server.h"

namespace quorvane::input::x11 {
namespace {

using quorvane::x11::test::propertyReply;
using quorvane::x11::test::Reply;

TEST(PropertiesTest, WmClassNeedsItsTypeFormatAndAWholeReply) {
  const std::string xterm("xterm\0XTerm\0", 12);
  auto wmClass = [](const std::string& bytes, std::uint32_t declared) {
    return propertyReply(8, XCB_ATOM_STRING, declared, bytes);
  };
  const struct { Reply reply; std::string name; } cases[] = {
      {wmClass(xterm, 12), "XTerm"}, {wmClass(xterm.substr(0, 11), 11), "XTerm"}, {wmClass("noclass", 7), ""},
      {wmClass(std::string("a\0", 2), 2), ""}, {wmClass("", 0), ""},
      {wmClass(xterm, 400), ""},  // declares more than the reply holds
      {propertyReply(16, XCB_ATOM_STRING, 6, xterm), ""}, {propertyReply(8, XCB_ATOM_CARDINAL, 12, xterm), ""},
  };
  for (const auto& c : cases) {
    auto bytes = quorvane::x11::test::received(c.reply);
    EXPECT_EQ(wmClassName(reinterpret_cast<xcb_get_property_reply_t*>(bytes.data())), c.name);
  }
  EXPECT_EQ(wmClassName(nullptr), "");
}

}  // namespace
}  // namespace quorvane::input::x11
