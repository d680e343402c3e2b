// The command line and the stream configuration built from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recording-screen/capture.h"

namespace quorvane::recording {

struct LaunchParameters {
  std::uint32_t displayId = 0;
  std::int32_t frameRate = 0;
  bool cursorShown = true;
};

// The arguments after the program name: display id, frame rate (15, 30 or
// 60) and an optional "hidden". nullopt for anything else.
std::optional<LaunchParameters> parseLaunch(const std::vector<std::string>& args);

inline constexpr std::uint32_t kMaxFrameSide = 8192;
inline constexpr std::uint64_t kMaxFramePixels = 16'000'000;
inline constexpr int kQueueDepth = 3;

bool frameSizeAllowed(std::uint32_t width, std::uint32_t height);

// The configuration for capturing this display, or nullopt when its picture is
// larger than the streamer accepts.
std::optional<StreamConfiguration> buildConfiguration(const Display& display, const LaunchParameters& launch);

}  // namespace quorvane::recording
