// A fake Wayland compositor for one test (tests/support/fake_compositor_server.cpp
// says what it speaks): one that goes silent after its first answers, or
// sends hostile screencopy events, so that the helpers' guards can be tested
// end to end. Started in a directory of its own, stopped with the object.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/process.h"

namespace quorvane::test {

struct FakeCompositorOptions {
  int answerSyncs = -1;               // goes silent once it has answered this many syncs (-1: never)
  std::string screencopy = "normal";  // normal, describe-only, early-events, wide-stride, shrink or flood
  bool desktop = false;               // offers wl_compositor and layer-shell, and never answers them
  std::string treeFile;               // sway's tree, when not its own one window
  bool holdConfig = false;            // sway's configuration is asked for and never told
};

class FakeCompositor {
 public:
  // Its one output: the display id (its registry name), size and colour.
  static constexpr std::uint32_t kOutputId = 1;
  static constexpr int kWidth = 640, kHeight = 480;
  static constexpr std::uint32_t kColour = 0x3366CC;

  explicit FakeCompositor(const FakeCompositorOptions& options = {});
  ~FakeCompositor();
  FakeCompositor(const FakeCompositor&) = delete;
  FakeCompositor& operator=(const FakeCompositor&) = delete;

  // What a client of it needs: WAYLAND_DISPLAY (an absolute path),
  // XDG_RUNTIME_DIR and SWAYSOCK; DISPLAY is to be unset.
  const std::map<std::string, std::string>& env() const { return env_; }
  // Waits for the compositor to report `event` ("described", "copied",
  // "silent", "shrunk", "shrink refused", "config held"), skipping others; false on time-out.
  bool await(const std::string& event, milliseconds timeout = std::chrono::seconds(10));

 private:
  std::string dir_;
  std::unique_ptr<Child> process_;
  std::map<std::string, std::string> env_;
};

}  // namespace quorvane::test
