#include "recording-screen/launch.h"

#include "common/numbers.h"

namespace quorvane::recording {

namespace {

constexpr char kHidden[] = "hidden";

bool acceptedFrameRate(std::int32_t rate) { return rate == 15 || rate == 30 || rate == 60; }

}  // namespace

std::optional<LaunchParameters> parseLaunch(const std::vector<std::string>& args) {
  if (args.size() != 2 && !(args.size() == 3 && args[2] == kHidden)) return std::nullopt;
  auto display = parseU32(args[0]);
  if (!display) return std::nullopt;
  auto rate = parseI32(args[1]);
  if (!rate || !acceptedFrameRate(*rate)) return std::nullopt;
  return LaunchParameters{*display, *rate, args.size() == 2};
}

bool frameSizeAllowed(std::uint32_t width, std::uint32_t height) {
  // Each side first, so that the product is only formed from bounded sides.
  if (width > kMaxFrameSide || height > kMaxFrameSide) return false;
  return std::uint64_t{width} * height <= kMaxFramePixels;
}

std::optional<StreamConfiguration> buildConfiguration(const Display& display, const LaunchParameters& launch) {
  if (!frameSizeAllowed(display.width, display.height)) return std::nullopt;
  StreamConfiguration c;
  c.width = display.width;
  c.height = display.height;
  c.frameRate = launch.frameRate;
  c.queueDepth = kQueueDepth;
  c.showsCursor = launch.cursorShown;
  return c;
}

}  // namespace quorvane::recording
