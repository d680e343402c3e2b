#include "input/x11/properties.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "input/x11/window_system.h"

namespace quorvane::input::x11 {
namespace {

// A property reply as the server would send it: the header, then `length` words of value.
struct FakeReply {
  FakeReply(std::uint8_t format, xcb_atom_t type, std::uint32_t declared, const std::string& bytes)
      : words((sizeof(xcb_get_property_reply_t) + bytes.size() + 3) / 4 + 1) {
    auto* r = reply();
    r->format = format;
    r->type = type;
    r->value_len = declared;
    r->length = static_cast<std::uint32_t>((bytes.size() + 3) / 4);
    std::memcpy(r + 1, bytes.data(), bytes.size());
  }
  xcb_get_property_reply_t* reply() { return reinterpret_cast<xcb_get_property_reply_t*>(words.data()); }
  std::vector<std::uint32_t> words;
};

FakeReply wmClass(const std::string& bytes, std::uint32_t declared = ~0u) {
  return FakeReply(8, XCB_ATOM_STRING, declared == ~0u ? static_cast<std::uint32_t>(bytes.size()) : declared, bytes);
}

TEST(PropertiesTest, WmClassAndCardinalsNeedTheirTypeFormatAndAWholeReply) {
  const std::string xterm("xterm\0XTerm\0", 12), two("\1\0\0\0\2\0\0\0", 8);
  const struct { FakeReply reply; std::string name; } cases[] = {
      {wmClass(xterm), "XTerm"}, {wmClass(xterm.substr(0, 11)), "XTerm"}, {wmClass("noclass"), ""}, {wmClass(std::string("a\0", 2)), ""},
      {wmClass(""), ""}, {wmClass(xterm, 400), ""},  // declares more than the reply holds
      {FakeReply(16, XCB_ATOM_STRING, 6, xterm), ""}, {FakeReply(8, XCB_ATOM_CARDINAL, 12, xterm), ""},
  };
  for (auto c : cases) EXPECT_EQ(wmClassName(c.reply.reply()), c.name);
  EXPECT_EQ(wmClassName(nullptr), "");
  EXPECT_EQ(values32(FakeReply(32, XCB_ATOM_CARDINAL, 2, two).reply(), XCB_ATOM_CARDINAL), (std::vector<std::uint32_t>{1, 2}));
  for (auto bad : {FakeReply(32, XCB_ATOM_WINDOW, 2, two), FakeReply(8, XCB_ATOM_CARDINAL, 8, two),
                   FakeReply(32, XCB_ATOM_CARDINAL, 0x40000001, two), FakeReply(7, XCB_ATOM_CARDINAL, 2, two)}) {
    EXPECT_TRUE(values32(bad.reply(), XCB_ATOM_CARDINAL).empty());
  }
}

TEST(HitTestTest, PointsOutsideXCoordinatesHitNothingAndWheelClicksNeverOvershoot) {
  EXPECT_EQ(pixelOf({10.7, -3.2}), (std::pair<int, int>{10, -4}));
  EXPECT_EQ(pixelOf({-32768, 32767.9}), (std::pair<int, int>{-32768, 32767}));
  for (Point far : {Point{1e12, 0}, Point{0, -32769}, Point{32768, 0}, Point{NAN, 0}, Point{0, INFINITY}}) {
    EXPECT_EQ(pixelOf(far), std::nullopt) << far.x << " " << far.y;
  }
  for (auto [pixels, clicks] : {std::pair{1, 1}, {99, 1}, {199, 1}, {200, 2}, {500, 5}}) EXPECT_EQ(wheelClicks(pixels), clicks);
}

}  // namespace
}  // namespace quorvane::input::x11
