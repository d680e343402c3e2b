#include "common/x11/connection.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "common/x11/fake_x_server.h"

namespace quorvane::x11 {
namespace {

using test::Bytes;
using test::FakeXServer;
using test::Reply;
using test::Request;

constexpr std::uint8_t kGetAtomName = 17, kGetProperty = 20;
constexpr std::uint8_t kGetMonitors = 42;  // RandR's

TEST(ConnectionTest, CardinalsAreReadOnlyWhenTheReplyHoldsThemAll) {
  using V = std::optional<std::vector<std::uint32_t>>;
  const std::string two("\1\0\0\0\2\0\0\0", 8);
  const struct { const char* what; Reply reply; V values; } cases[] = {
      {"two", test::propertyReply(32, XCB_ATOM_CARDINAL, 2, two), std::vector<std::uint32_t>{1, 2}},
      {"none", test::propertyReply(32, XCB_ATOM_CARDINAL, 0, ""), std::vector<std::uint32_t>{}},
      {"a thousand declared, two held", test::propertyReply(32, XCB_ATOM_CARDINAL, 1000, two), std::nullopt},
      {"another type", test::propertyReply(32, XCB_ATOM_ATOM, 2, two), std::nullopt},
  };
  for (const auto& c : cases) {
    FakeXServer server([&](const Request& r) -> std::optional<Reply> {
      if (r.opcode == kGetProperty) return c.reply;
      return std::nullopt;
    });
    auto connection = Connection::open(server.display().c_str());
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(cardinals(*connection, FakeXServer::kRoot, 300, XCB_ATOM_CARDINAL), c.values) << c.what;
  }
}

// Three monitors declared: one whole, one whose hundred outputs are not
// there; a name of forty bytes declared and four held.
TEST(ConnectionTest, MonitorsAndTheirNamesAreReadOnlyAsFarAsTheReplyReaches) {
  Bytes list;
  list.u32(0).u32(3).u32(0).zeros(12);
  list.u32(500).u8(1).u8(1).u16(0).u16(10).u16(20).u16(800).u16(600).u32(0).u32(0);
  list.u32(501).u8(0).u8(1).u16(100).u16(0).u16(0).u16(640).u16(480).u32(0).u32(0);
  FakeXServer server([&](const Request& r) -> std::optional<Reply> {
    if (r.opcode == FakeXServer::kRandr && r.data == kGetMonitors) return Reply{0, list};
    if (r.opcode == kGetAtomName) return Reply{0, Bytes().u16(40).zeros(22).text("DP-1")};
    return std::nullopt;
  });
  auto connection = Connection::open(server.display().c_str());
  ASSERT_NE(connection, nullptr);
  const auto all = monitors(*connection);
  ASSERT_EQ(all.size(), 1u);
  const Monitor& m = all[0];
  EXPECT_EQ(std::tuple(m.id, m.name, m.primary, m.x, m.y, m.width, m.height),
            std::tuple(500u, std::string("DP-1"), true, 10, 20, 800u, 600u));
  // In two steps, a request answered in between, and without the names.
  const auto asked = askMonitors(*connection);
  std::free(xcb_get_atom_name_reply(connection->get(), xcb_get_atom_name(connection->get(), 1), nullptr));
  const auto unnamed = takeMonitors(*connection, asked, false);
  ASSERT_EQ(unnamed.size(), 1u);
  const Monitor& u = unnamed[0];
  EXPECT_EQ(std::tuple(u.id, u.name, u.primary, u.x, u.y, u.width, u.height),
            std::tuple(500u, std::string(), true, 10, 20, 800u, 600u));
}

}  // namespace
}  // namespace quorvane::x11
