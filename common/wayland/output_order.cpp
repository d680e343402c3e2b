#include "common/wayland/output_order.h"

#include <cstring>
#include <utility>

#include "common/wayland/protocols/kde-output-order-v1-client.h"

namespace quorvane::wayland {

namespace {

struct Order {
  std::uint32_t global = 0;
  std::vector<std::string> building, names;
  bool done = false, overlong = false;  // a list over the bounds is not believed
};

const kde_output_order_v1_listener kOrderListener = {
    [](void* data, kde_output_order_v1*, const char* name) {
      auto* o = static_cast<Order*>(data);
      if (o->building.size() >= kMaxOrderedOutputs || std::strlen(name) > kMaxOutputName) {
        o->overlong = true;
      } else {
        o->building.emplace_back(name);
      }
    },
    [](void* data, kde_output_order_v1*) {
      // Each list is whole on `done`; the next output event starts a new one.
      auto* o = static_cast<Order*>(data);
      o->names = std::exchange(o->building, {});
      o->done = true;
    }};

}  // namespace

std::optional<std::vector<std::string>> outputOrder(wl_display* display, Deadline deadline) {
  Order order;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, kde_output_order_v1_interface.name) == 0) static_cast<Order*>(data)->global = name;
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &order);
  std::optional<std::vector<std::string>> result;
  if (roundtripBy(display, deadline) && order.global != 0) {
    auto* proxy = static_cast<kde_output_order_v1*>(
        wl_registry_bind(registry, order.global, &kde_output_order_v1_interface, 1));
    kde_output_order_v1_add_listener(proxy, &kOrderListener, &order);
    // The list comes when the global is bound.
    if (dispatchUntil(display, [&] { return order.done; }, deadline) && !order.overlong) {
      result = std::move(order.names);
    }
    kde_output_order_v1_destroy(proxy);
  }
  wl_registry_destroy(registry);
  wl_display_flush(display);
  return result;
}

}  // namespace quorvane::wayland
