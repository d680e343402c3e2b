#include "recording-screen/wayland/outputs.h"

namespace quorvane::recording::wayland {

std::vector<Display> displaysOf(const quorvane::wayland::Connection& connection) {
  std::vector<Display> displays;
  for (const auto& o : connection.outputs()) {
    if (o->done) displays.push_back(Display{o->id, o->pixelWidth(), o->pixelHeight()});
  }
  return displays;
}

const quorvane::wayland::Output* configuredOutput(const quorvane::wayland::Connection& connection,
                                                  const ContentFilter& filter,
                                                  const StreamConfiguration& configuration) {
  const auto* o = connection.output(filter.display.id);
  if (!o || o->pixelWidth() != configuration.width || o->pixelHeight() != configuration.height) return nullptr;
  return o;
}

OutputPlace placeOf(const quorvane::wayland::Output& o, bool framesTurned) {
  return {o.x, o.y, o.logicalWidth, o.logicalHeight, o.pixelWidth(), o.pixelHeight(), framesTurned && o.transform != 0};
}

}  // namespace quorvane::recording::wayland
