#include "tests/support/eventually.h"

#include <cstdlib>
#include <poll.h>
#include <vector>

#include <xcb/xcb.h>

#include "tests/support/xsession.h"

namespace quorvane::test {

struct RootWatch::Impl {
  xcb_connection_t* c = nullptr;
};

RootWatch::RootWatch(const std::string& display) : impl_(std::make_unique<Impl>()) {
  impl_->c = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(impl_->c)) return;
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(impl_->c)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(impl_->c, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(impl_->c);
}

RootWatch::~RootWatch() { xcb_disconnect(impl_->c); }

bool RootWatch::next(int ms) {
  if (xcb_connection_has_error(impl_->c)) return false;
  bool seen = false;
  while (xcb_generic_event_t* e = xcb_poll_for_event(impl_->c)) {
    seen = true;
    std::free(e);
  }
  if (seen) return true;
  pollfd p{xcb_get_file_descriptor(impl_->c), POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return false;
  while (xcb_generic_event_t* e = xcb_poll_for_event(impl_->c)) std::free(e);
  return true;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  // Watching starts before the first check, so that no change falls in between.
  std::vector<std::unique_ptr<RootWatch>> watches;
  for (const auto& display : liveDisplays()) watches.push_back(std::make_unique<RootWatch>(display));
  while (!condition()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    // One display reports at a time; with several, each gets a share of the wait.
    const int slice = static_cast<int>(watches.size() > 1 ? std::min<long>(left, 50) : left);
    bool changed = false;
    for (auto& w : watches) changed = w->next(changed ? 0 : slice) || changed;
    if (watches.empty()) return condition();
  }
  return true;
}

}  // namespace quorvane::test
