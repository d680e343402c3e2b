#include "recording-screen/kde/kwin_frames.h"

#include <gtest/gtest.h>

namespace quorvane::recording::kde {
namespace {

using quorvane::wayland::PlasmaWindow;
using wayland::Box;
using wayland::ListedWindow;

TEST(ToBgrxTest, ByteFormatsSwapRedAndBlueAndWordFormatsStay) {
  const struct { std::uint32_t format; std::vector<std::uint8_t> expected; } cases[] = {
      {quorvane::kde::kShotRgbx8888, {3, 2, 1, 4, 9, 0, 0, 7, 8, 9}},
      {quorvane::kde::kShotRgba8888Premultiplied, {3, 2, 1, 4, 9, 0, 0, 7, 8, 9}},
      {quorvane::kde::kShotArgb32, {1, 2, 3, 4, 9, 7, 0, 0, 8, 9}},
  };
  for (const auto& c : cases) {
    // Two rows of one pixel, each row padded by one byte.
    quorvane::kde::Shot shot{{1, 2, 5, c.format}, {1, 2, 3, 4, 9, 7, 0, 0, 8, 9}};
    toBgrx(shot);
    EXPECT_EQ(shot.bytes, c.expected) << c.format;
  }
}

PlasmaWindow window(std::string uuid, std::uint32_t pid, std::int32_t x, std::uint32_t state = 0) {
  return {std::move(uuid), "app", "title", pid, x, 20, 100, 50, true, state};
}

TEST(PlasmaWindowsTest, TheirShownWindowsBottomToTopWithIdsThatStay) {
  auto unplaced = window("{u}", 0, 0);
  unplaced.hasGeometry = false;
  const std::vector<PlasmaWindow> frontToBack = {
      window("{a}", 10, 300), window("{other}", 20, 0), window("{min}", 10, 0, quorvane::wayland::kPlasmaMinimized),
      unplaced, window("{b}", 11, 5)};
  WindowIds ids;
  const std::vector<std::int32_t> pids = {10, 11};
  EXPECT_EQ(plasmaWindows(frontToBack, pids, ids),
            (std::vector<ListedWindow>{{1, 11, std::vector<Box>{{5, 20, 105, 70}}},
                                       {2, std::nullopt, std::nullopt},
                                       {3, 10, std::vector<Box>{{300, 20, 400, 70}}}}));
  // The same windows keep their ids, a new one gets its own.
  const auto again = plasmaWindows({window("{c}", 10, 0), window("{a}", 10, 300)}, pids, ids);
  EXPECT_EQ(std::make_tuple(again.at(0).id, again.at(1).id), std::make_tuple(std::int64_t{3}, std::int64_t{4}));
}

TEST(WindowPidsTest, EachKnownOwnerOnce) {
  EXPECT_EQ(windowPids({window("{a}", 10, 0), window("{b}", 0, 0), window("{c}", 20, 0), window("{d}", 10, 0)}),
            (std::vector<std::int32_t>{10, 20}));
}

TEST(RowsChangedTest, DifferingRowsAsSpansWithPaddingIgnored) {
  // Five rows of two pixels, each row padded to 12 bytes.
  std::vector<std::uint8_t> before(60, 0), now(60, 0);
  for (std::size_t row : {1, 2, 4}) now[row * 12 + 7] = 1;
  now[3 * 12 + 10] = 1;  // padding of row 3
  EXPECT_EQ(rowsChanged(before.data(), now.data(), 12, 2, 5), (std::vector<RowSpan>{{1, 3}, {4, 5}}));
  EXPECT_EQ(rowsChanged(before.data(), before.data(), 12, 2, 5), std::vector<RowSpan>{});
}

}  // namespace
}  // namespace quorvane::recording::kde
