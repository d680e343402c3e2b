#include "input/dispatcher.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

TEST(DispatcherTest, PicksTheFirstMatchingFormInOrderOfPrecedence) {
  const std::string p = "/usr/libexec/quorvane-input";
  using M = Mode;
  const struct { std::vector<std::string> args; Mode mode; } cases[] = {
      {{p, "--focus-window", "--scroll-self-test"}, M::ScrollSelfTest}, {{"--scroll-self-test"}, M::ScrollSelfTest},
      {{p, "--focus-window", "--check"}, M::FocusWindow}, {{p, "--focus-window", "1", "2"}, M::Invalid},
      {{p, "--focus-window"}, M::Invalid}, {{p, "--capture-windows"}, M::CaptureWindows},
      {{p, "--capture-windows", "x"}, M::Invalid}, {{p, "x", "--capture-windows"}, M::Invalid},
      {{p, "--active-window"}, M::ActiveWindow}, {{p, "--active-window", "--check"}, M::Check},
      {{p, "7", "--window-info"}, M::WindowInfo}, {{p, "--window-info", "7", "--scroll"}, M::WindowInfo},
      {{p, "--check", "--scroll"}, M::Scroll}, {{p, "--self-test", "--scroll"}, M::Scroll},
      {{p, "--check", "--self-test"}, M::KeySelfTest}, {{p, "screen", "--check"}, M::Check},
      {{p, "screen", "1"}, M::Monitor}, {{p, "window", "-1"}, M::Invalid}, {{p, "Screen", "1"}, M::Invalid},
      {{p, "screen", "1", "2"}, M::Invalid}, {{}, M::Invalid}, {{p, "--CHECK"}, M::Invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(dispatch(c.args).mode, c.mode) << testing::PrintToString(c.args);
  Dispatch d = dispatch({p, "window", "4294967295"});
  EXPECT_EQ(std::tie(d.source.kind, d.source.id), std::make_tuple("window", 4294967295u));
}

}  // namespace
}  // namespace quorvane::input
