#include "input/dispatcher.h"

#include <gtest/gtest.h>

namespace quorvane::input {
namespace {

struct Case {
  std::vector<std::string> args;
  Mode mode;
};

std::string show(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) s += "[" + a + "]";
  return s;
}

TEST(DispatcherTest, PicksTheFirstMatchingFormInOrderOfPrecedence) {
  const std::string p = "/usr/libexec/quorvane-input";
  const Case cases[] = {
      // The scroll self-test outranks everything, wherever it stands.
      {{p, "--focus-window", "--scroll-self-test"}, Mode::ScrollSelfTest},
      {{p, "--capture-windows", "--scroll-self-test"}, Mode::ScrollSelfTest},
      {{"--scroll-self-test"}, Mode::ScrollSelfTest},
      // Focusing: exactly three arguments; the text is the mode's to judge.
      {{p, "--focus-window", "42"}, Mode::FocusWindow},
      {{p, "--focus-window", "abc"}, Mode::FocusWindow},
      {{p, "--focus-window", "--check"}, Mode::FocusWindow},
      {{p, "--focus-window", "1", "2"}, Mode::Invalid},
      {{p, "--focus-window"}, Mode::Invalid},
      // The exact list forms.
      {{p, "--capture-windows"}, Mode::CaptureWindows},
      {{p, "--capture-windows", "x"}, Mode::Invalid},
      {{p, "--active-window"}, Mode::ActiveWindow},
      {{p, "--active-window", "--check"}, Mode::Check},
      {{p, "x", "--capture-windows"}, Mode::Invalid},
      // Window information: any position; its shape is the mode's to judge.
      {{p, "--window-info"}, Mode::WindowInfo},
      {{p, "7", "--window-info"}, Mode::WindowInfo},
      {{p, "--window-info", "7", "--scroll"}, Mode::WindowInfo},
      // Auto-scroll outranks the self-test and the check.
      {{p, "--scroll", "1", "0", "0", "1", "1"}, Mode::Scroll},
      {{p, "--check", "--scroll"}, Mode::Scroll},
      {{p, "--scroll", "--check"}, Mode::Scroll},
      {{p, "--self-test", "--scroll"}, Mode::Scroll},
      {{p, "--check", "--self-test"}, Mode::KeySelfTest},
      {{p, "--self-test"}, Mode::KeySelfTest},
      {{p, "--check"}, Mode::Check},
      {{p, "screen", "--check"}, Mode::Check},
      // The monitor.
      {{p, "screen", "1"}, Mode::Monitor},
      {{p, "window", "4294967295"}, Mode::Monitor},
      {{p, "window", "+7"}, Mode::Monitor},
      {{p, "window", "-0"}, Mode::Monitor},
      {{p, "window", "-1"}, Mode::Invalid},
      {{p, "window", "4294967296"}, Mode::Invalid},
      {{p, "window", "12a"}, Mode::Invalid},
      {{p, "window", " 12"}, Mode::Invalid},
      {{p, "Screen", "1"}, Mode::Invalid},
      {{p, "screen", "1", "2"}, Mode::Invalid},
      // Nothing usable.
      {{}, Mode::Invalid},
      {{p}, Mode::Invalid},
      {{p, "--CHECK"}, Mode::Invalid},
      {{p, "--check="}, Mode::Invalid},
      {{p, "--capture-windows", "--active-window", "x"}, Mode::Invalid},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dispatch(c.args).mode, c.mode) << show(c.args);
  }
}

TEST(DispatcherTest, MonitorFormCarriesItsSource) {
  Dispatch d = dispatch({"p", "window", "+7"});
  EXPECT_EQ(d.source.kind, "window");
  EXPECT_EQ(d.source.id, 7u);
  d = dispatch({"p", "screen", "4294967295"});
  EXPECT_EQ(d.source.kind, "screen");
  EXPECT_EQ(d.source.id, 4294967295u);
}

}  // namespace
}  // namespace quorvane::input
