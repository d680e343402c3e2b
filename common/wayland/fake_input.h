// KWin's synthetic input (org_kde_kwin_fake_input): absolute pointer motion,
// buttons and the wheel, as one more input device of the seat. KWin offers
// it only to a program its `.desktop` grant names, and takes events only
// after the client has said who it is (authenticate).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/wayland/dispatch.h"

struct org_kde_kwin_fake_input;

namespace quorvane::wayland {

class FakeInput {
 public:
  // nullptr when the compositor does not offer the global to this program
  // (or offers a version without absolute motion).
  static std::unique_ptr<FakeInput> open(wl_display* display, const std::string& application,
                                         const std::string& reason, Deadline deadline);
  ~FakeInput();
  FakeInput(const FakeInput&) = delete;
  FakeInput& operator=(const FakeInput&) = delete;

  // Global coordinates, as the window list gives them.
  void moveTo(double x, double y);
  // A Linux input event code (BTN_LEFT is 0x110).
  void button(std::uint32_t code, bool pressed);
  // Vertical wheel motion in the units of pointer motion, positive downwards.
  void scroll(double amount);
  // Everything sent so far handled by the compositor.
  bool flush(Deadline deadline);

 private:
  FakeInput(wl_display* display, org_kde_kwin_fake_input* input) : display_(display), input_(input) {}
  wl_display* display_;
  org_kde_kwin_fake_input* input_;
};

}  // namespace quorvane::wayland
