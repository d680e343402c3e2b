#include "tests/support/fake_compositor.h"

#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

namespace quorvane::test {

FakeCompositor::FakeCompositor(const FakeCompositorOptions& options) {
  char dir[] = "/tmp/quorvane-fake-compositor-XXXXXX";
  if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp failed");
  dir_ = dir;
  std::vector<std::string> argv{binary("quorvane-fake-compositor"), dir_, "--answer-syncs",
                                std::to_string(options.answerSyncs), "--screencopy", options.screencopy};
  if (options.desktop) argv.push_back("--desktop");
  if (options.holdConfig) argv.push_back("--hold-config");
  if (!options.treeFile.empty()) argv.insert(argv.end(), {"--tree-file", options.treeFile});
  process_ = std::make_unique<Child>(argv);
  if (process_->readLine() != "ready") throw std::runtime_error("the fake compositor did not start");
  env_ = {{"WAYLAND_DISPLAY", dir_ + "/wayland-0"}, {"XDG_RUNTIME_DIR", dir_}, {"SWAYSOCK", dir_ + "/sway.sock"}};
}

FakeCompositor::~FakeCompositor() {
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

bool FakeCompositor::await(const std::string& event, milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    auto line = process_->readLine(left);
    if (!line) return false;
    if (*line == event) return true;
  }
}

}  // namespace quorvane::test
