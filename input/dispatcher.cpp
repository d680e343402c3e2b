#include "input/dispatcher.h"

#include <algorithm>

#include "common/numbers.h"

namespace quorvane::input {

namespace {

bool any(const std::vector<std::string>& args, const char* option) {
  return std::find(args.begin(), args.end(), option) != args.end();
}

bool exactly(const std::vector<std::string>& args, const char* option) {
  return args.size() == 2 && args[1] == option;
}

}  // namespace

Dispatch dispatch(const std::vector<std::string>& args) {
  if (any(args, "--scroll-self-test")) return {Mode::ScrollSelfTest, {}};
  if (args.size() == 3 && args[1] == "--focus-window") return {Mode::FocusWindow, {}};
  if (exactly(args, "--capture-windows")) return {Mode::CaptureWindows, {}};
  if (exactly(args, "--active-window")) return {Mode::ActiveWindow, {}};
  if (any(args, "--window-info")) return {Mode::WindowInfo, {}};
  if (any(args, "--scroll")) return {Mode::Scroll, {}};
  if (any(args, "--self-test")) return {Mode::KeySelfTest, {}};
  if (any(args, "--check")) return {Mode::Check, {}};
  if (args.size() == 3 && (args[1] == "screen" || args[1] == "window")) {
    if (auto id = parseU32(args[2])) return {Mode::Monitor, {args[1], *id}};
  }
  return {Mode::Invalid, {}};
}

}  // namespace quorvane::input
