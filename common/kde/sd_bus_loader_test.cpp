// The sd-bus calls go to libsystemd, which this test (like the programs) does
// not link: it is loaded on the first call, and answers and errors come back
// as the library gives them.
#include <cerrno>

#include <systemd/sd-bus.h>

#include <gtest/gtest.h>

#include "tests/support/mapped.h"

namespace {

const bool mappedAtStart = quorvane::test::libraryMapped("libsystemd.so");  // before main, before any test

}  // namespace

TEST(SdBusLoader, LoadsLibsystemdAtTheFirstCallAndPassesItsAnswersOn) {
  EXPECT_FALSE(mappedAtStart);
  sd_bus* bus = nullptr;
  ASSERT_EQ(sd_bus_new(&bus), 0);
  ASSERT_NE(bus, nullptr);
  EXPECT_TRUE(quorvane::test::libraryMapped("libsystemd.so"));
  EXPECT_GE(sd_bus_set_address(bus, "unix:path=/nonexistent/quorvane-test-bus"), 0);
  EXPECT_GE(sd_bus_set_bus_client(bus, 1), 0);
  EXPECT_EQ(sd_bus_start(bus), -ENOENT);  // the library's own error
  EXPECT_EQ(sd_bus_flush_close_unref(bus), nullptr);
}
