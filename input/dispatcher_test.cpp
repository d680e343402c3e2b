#include "input/dispatcher.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

TEST(DispatcherTest, PicksTheFirstMatchingFormInOrderOfPrecedence) {
  const std::string p = "/usr/libexec/quorvane-input";
  const struct {
    std::vector<std::string> args;
    Mode mode;
  } cases[] = {
      {{p, "--focus-window", "--scroll-self-test"}, Mode::ScrollSelfTest}, {{"--scroll-self-test"}, Mode::ScrollSelfTest},
      {{p, "--focus-window", "--check"}, Mode::FocusWindow},  {{p, "--focus-window", "1", "2"}, Mode::Invalid},
      {{p, "--focus-window"}, Mode::Invalid},                  {{p, "--capture-windows"}, Mode::CaptureWindows},
      {{p, "--capture-windows", "x"}, Mode::Invalid},          {{p, "x", "--capture-windows"}, Mode::Invalid},
      {{p, "--active-window"}, Mode::ActiveWindow},            {{p, "--active-window", "--check"}, Mode::Check},
      {{p, "7", "--window-info"}, Mode::WindowInfo},           {{p, "--window-info", "7", "--scroll"}, Mode::WindowInfo},
      {{p, "--check", "--scroll"}, Mode::Scroll},              {{p, "--self-test", "--scroll"}, Mode::Scroll},
      {{p, "--check", "--self-test"}, Mode::KeySelfTest},      {{p, "screen", "--check"}, Mode::Check},
      {{p, "screen", "1"}, Mode::Monitor},                     {{p, "window", "-0"}, Mode::Monitor},
      {{p, "window", "-1"}, Mode::Invalid},                    {{p, "window", "4294967296"}, Mode::Invalid},
      {{p, "window", " 12"}, Mode::Invalid},                   {{p, "Screen", "1"}, Mode::Invalid},
      {{p, "screen", "1", "2"}, Mode::Invalid},                {{}, Mode::Invalid},
      {{p, "--CHECK"}, Mode::Invalid},
  };
  for (const auto& c : cases) EXPECT_EQ(dispatch(c.args).mode, c.mode) << testing::PrintToString(c.args);
  Dispatch d = dispatch({p, "window", "+4294967295"});
  EXPECT_EQ(d.source.kind, "window");
  EXPECT_EQ(d.source.id, 4294967295u);
}

}  // namespace
}  // namespace quorvane::input
