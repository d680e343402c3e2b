#include "common/wayland/fake_input.h"

#include <cstring>

#include "common/wayland/protocols/fake-input-client.h"

namespace quorvane::wayland {

namespace {

// pointer_motion_absolute came with 3; 4 adds keys, which we do not send.
constexpr std::uint32_t kVersion = 3;
// The protocol's button states and axes (wl_pointer's values).
constexpr std::uint32_t kReleased = 0, kPressed = 1, kVerticalAxis = 0;

struct FoundInput {
  std::uint32_t name = 0, version = 0;
};

}  // namespace

std::unique_ptr<FakeInput> FakeInput::open(wl_display* display, const std::string& application,
                                           const std::string& reason, Deadline deadline) {
  FoundInput found;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
        if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
          *static_cast<FoundInput*>(data) = {name, version};
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &found);
  std::unique_ptr<FakeInput> input;
  if (roundtripBy(display, deadline) && found.version >= kVersion) {
    auto* proxy = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, found.name, &org_kde_kwin_fake_input_interface, kVersion));
    org_kde_kwin_fake_input_authenticate(proxy, application.c_str(), reason.c_str());
    input.reset(new FakeInput(display, proxy));
  }
  wl_registry_destroy(registry);
  if (input && !input->flush(deadline)) input.reset();
  return input;
}

FakeInput::~FakeInput() {
  // The protocol has no destructor request: the device goes with the proxy's
  // resource when the connection closes.
  wl_proxy_destroy(reinterpret_cast<wl_proxy*>(input_));
}

void FakeInput::moveTo(double x, double y) {
  org_kde_kwin_fake_input_pointer_motion_absolute(input_, wl_fixed_from_double(x), wl_fixed_from_double(y));
}

void FakeInput::button(std::uint32_t code, bool pressed) {
  org_kde_kwin_fake_input_button(input_, code, pressed ? kPressed : kReleased);
}

void FakeInput::scroll(double amount) {
  org_kde_kwin_fake_input_axis(input_, kVerticalAxis, wl_fixed_from_double(amount));
}

bool FakeInput::flush(Deadline deadline) { return roundtripBy(display_, deadline); }

}  // namespace quorvane::wayland
