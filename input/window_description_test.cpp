#include "input/window_description.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

TEST(WindowDescriptionTest, ReadersRefuseMissingAndMistypedValues) {
  WindowDescription d;
  EXPECT_EQ(asU32(d, WindowKey::Number), std::nullopt);
  d.set(WindowKey::Number, std::string("12"));
  EXPECT_EQ(asU32(d, WindowKey::Number), std::nullopt);
  d.set(WindowKey::Number, 12.0);
  EXPECT_EQ(asU32(d, WindowKey::Number), std::nullopt);
  d.set(WindowKey::Number, std::int64_t{12});
  EXPECT_EQ(asU32(d, WindowKey::Number), 12u);
  d.set(WindowKey::Alpha, std::int64_t{1});
  EXPECT_EQ(asDouble(d, WindowKey::Alpha), std::nullopt);
  d.set(WindowKey::IsOnscreen, std::int64_t{1});
  EXPECT_EQ(asBool(d, WindowKey::IsOnscreen), std::nullopt);
  d.set(WindowKey::OwnerName, Dict{});
  EXPECT_EQ(asString(d, WindowKey::OwnerName), std::nullopt);
}

TEST(WindowDescriptionTest, IntegerReadersHonourTheirRange) {
  const struct {
    std::int64_t value;
    bool u32, i32;
  } cases[] = {
      {0, true, true},
      {-1, false, true},
      {4294967295, true, false},
      {4294967296, false, false},
      {2147483647, true, true},
      {2147483648, true, false},
      {-2147483648, false, true},
      {-2147483649, false, false},
  };
  for (const auto& c : cases) {
    WindowDescription d;
    d.set(WindowKey::OwnerPid, c.value);
    EXPECT_EQ(asU32(d, WindowKey::OwnerPid).has_value(), c.u32) << c.value;
    EXPECT_EQ(asI32(d, WindowKey::OwnerPid).has_value(), c.i32) << c.value;
    EXPECT_EQ(asInteger(d, WindowKey::OwnerPid), c.value);
  }
}

TEST(WindowDescriptionTest, BoundsNeedFourNumbers) {
  auto rect = [](Dict dict) {
    WindowDescription d;
    d.set(WindowKey::Bounds, std::move(dict));
    return asRect(d, WindowKey::Bounds);
  };
  using I = std::int64_t;
  EXPECT_EQ(rect({{"X", I{1}}, {"Y", 2.5}, {"Width", I{3}}, {"Height", 4.0}}), (Rect{1, 2.5, 3, 4}));
  EXPECT_EQ(rect({{"X", I{1}}, {"Y", I{2}}, {"Width", I{3}}}), std::nullopt);
  EXPECT_EQ(rect({{"X", I{1}}, {"Y", I{2}}, {"Width", I{3}}, {"Height", std::string("4")}}), std::nullopt);
  EXPECT_EQ(rect({{"X", I{1}}, {"Y", I{2}}, {"Width", I{3}}, {"Height", true}}), std::nullopt);
  WindowDescription d;
  d.set(WindowKey::Bounds, std::string("{0,0,1,1}"));
  EXPECT_EQ(asRect(d, WindowKey::Bounds), std::nullopt);
}

TEST(RectTest, StandardFormAndContainment) {
  Rect flipped{0.75, 0.5, -0.5, -0.25};
  EXPECT_DOUBLE_EQ(flipped.minX(), 0.25);
  EXPECT_DOUBLE_EQ(flipped.maxX(), 0.75);
  EXPECT_DOUBLE_EQ(flipped.minY(), 0.25);
  EXPECT_DOUBLE_EQ(flipped.h(), 0.25);
  Rect r{0, 0, 100, 100};
  EXPECT_TRUE(r.contains({0, 0}));
  EXPECT_TRUE(r.contains({99.9, 50}));
  EXPECT_FALSE(r.contains({100, 50}));
  EXPECT_FALSE(r.contains({50, 100}));
  EXPECT_FALSE(r.contains({-0.1, 50}));
}

}  // namespace
}  // namespace quorvane::input
