#include "common/x11/windows.h"

#include <gtest/gtest.h>
#include <xcb/res.h>

#include "common/x11/fake_x_server.h"

namespace quorvane::x11 {
namespace {

using test::Bytes;
using test::FakeXServer;
using test::Reply;
using test::Request;

constexpr std::uint8_t kGetWindowAttributes = 3, kGetGeometry = 14, kQueryTree = 15, kInternAtom = 16, kGetProperty = 20;
constexpr std::uint8_t kQueryClientIds = 4;  // X-Resource's
constexpr xcb_atom_t kWmState = 77;

// A QueryTree reply: the number of children it declares, and the ones it holds.
Reply tree(std::uint16_t declared, const std::vector<xcb_window_t>& held) {
  Bytes b;
  b.u32(FakeXServer::kRoot).u32(0).u16(declared).zeros(14);
  for (auto w : held) b.u32(w);
  return Reply{0, b};
}

std::optional<Reply> atom(const Request& r) {
  if (r.opcode == kInternAtom) return Reply{0, Bytes().u32(kWmState).zeros(20)};
  return std::nullopt;
}

TEST(WindowsTest, ChildrenAreReadOnlyAsFarAsTheReplyReaches) {
  FakeXServer server([](const Request& r) -> std::optional<Reply> {
    if (r.opcode == kQueryTree) return tree(1000, {0x400001, 0x400002});
    return std::nullopt;
  });
  auto connection = Connection::open(server.display().c_str());
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(children(*connection, FakeXServer::kRoot), (std::vector<xcb_window_t>{0x400001, 0x400002}));
}

// The frame's tree claims a thousand children and holds two; the client is
// the topmost of those with WM_STATE.
TEST(WindowsTest, TheClientInAFrameIsSoughtOnlyAmongTheChildrenTheReplyHolds) {
  constexpr xcb_window_t kFrame = 0x600001, kOther = 0x600002, kClient = 0x600003;
  FakeXServer server([](const Request& r) -> std::optional<Reply> {
    if (r.opcode == kQueryTree) return r.word(0) == kFrame ? tree(1000, {kOther, kClient}) : tree(0, {});
    if (r.opcode == kGetProperty) {
      return r.word(0) == kClient ? test::propertyReply(32, kWmState, 0, "") : test::propertyReply(0, XCB_NONE, 0, "");
    }
    return atom(r);
  });
  auto connection = Connection::open(server.display().c_str());
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(clientWindows(*connection, {kFrame}), std::vector<xcb_window_t>{kClient});
}

// Five ids declared: one whole, then one that claims 400 value bytes the reply
// has not got; the second window's owner is then unknown.
TEST(WindowsTest, OwnerPidsAreReadOnlyAsFarAsTheReplyReaches) {
  Bytes ids;
  ids.u32(5).zeros(20);
  ids.u32(0x400000).u32(XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID).u32(4).u32(4321);
  ids.u32(0x600000).u32(XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID).u32(400).u32(999);
  FakeXServer server([&](const Request& r) -> std::optional<Reply> {
    if (r.opcode == FakeXServer::kXResource && r.data == kQueryClientIds) return Reply{0, ids};
    return atom(r);
  });
  auto connection = Connection::open(server.display().c_str());
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(ownerPids(*connection, {0x400001, 0x600001}), (std::vector<std::optional<std::int32_t>>{4321, {}}));
}

// The bottom window vanishes while it is asked about; the one above
// keeps its own children and owners: its own client's pid from X-Resource,
// another client's window inside it by the pid that window claims.
TEST(WindowsTest, OwnedTopLevelsKeepEachWindowsChildrenAndOwnersAcrossAVanishedOne) {
  constexpr xcb_window_t kGone = 0x400001, kFrame = 0x400002, kForeign = 0x600003;
  FakeXServer server([](const Request& r) -> std::optional<Reply> {
    if (r.opcode == kQueryTree) {
      if (r.word(0) == FakeXServer::kRoot) return tree(2, {kGone, kFrame});
      return r.word(0) == kFrame ? tree(1, {kForeign}) : tree(0, {});
    }
    if (r.opcode == kGetWindowAttributes) {  // the vanished one still answers this
      // Visual 0x21, InputOutput, viewable, not override-redirect.
      return Reply{0, Bytes().u32(0x21).u16(1).u8(0).u8(0).u32(0).u32(0).u8(0).u8(0).u8(2).u8(0).zeros(16)};
    }
    if (r.opcode == kGetGeometry && r.word(0) == kFrame) {
      return Reply{24, Bytes().u32(FakeXServer::kRoot).u16(10).u16(20).u16(300).u16(200).u16(1).zeros(10)};
    }
    if (r.opcode == FakeXServer::kXResource && r.data == kQueryClientIds) {
      return Reply{0, Bytes().u32(1).zeros(20).u32(0x400000).u32(XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID).u32(4).u32(4321)};
    }
    if (r.opcode == kGetProperty && r.word(0) == kForeign) return test::propertyReply(32, XCB_ATOM_CARDINAL, 1, "\x09\x03\0\0");
    if (r.opcode == kGetProperty) return test::propertyReply(0, XCB_NONE, 0, "");
    return atom(r);
  });
  auto connection = Connection::open(server.display().c_str());
  ASSERT_NE(connection, nullptr);
  const auto owned = ownedTopLevels(*connection);
  ASSERT_EQ(owned.size(), 1u);
  const TopLevel& top = owned[0].top;
  EXPECT_EQ(std::tuple(top.window, top.x, top.y, top.width, top.height, top.border, top.viewable, top.visual),
            std::tuple(kFrame, 10, 20, 300u, 200u, 1u, true, 0x21u));
  EXPECT_EQ(std::tuple(owned[0].inside.windows, owned[0].inside.complete, owned[0].pids),
            std::tuple(std::vector<xcb_window_t>{kFrame, kForeign}, true,
                       std::vector<std::optional<std::int32_t>>{4321, 777}));
}

}  // namespace
}  // namespace quorvane::x11
