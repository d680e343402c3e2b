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

constexpr std::uint8_t kQueryTree = 15, kInternAtom = 16, kGetProperty = 20;
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

}  // namespace
}  // namespace quorvane::x11
