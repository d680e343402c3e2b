// The global input monitor: while the application records a screen or a
// window, it reports clicks, named shortcuts (never plain typing) and thirty
// pointer samples a second, each click and sample with the recorded frame.
//
// Its loop waits on the backend's press descriptors until the next sample is
// due, hands the presses that arrived to the handlers below, and takes the
// sample; each handler writes its Messages and says whether to carry on or to
// end (with the text of its Error Message, if any).
#pragma once

#include <cstdint>
#include <optional>

#include "common/channel.h"
#include "common/outcome.h"
#include "input/dispatcher.h"
#include "input/key_names.h"
#include "input/window_system.h"

namespace quorvane::input {

inline constexpr double kSampleInterval = 1.0 / 30.0;

// Exit statuses of the monitor besides 0 (the application is gone).
inline constexpr int kStatusFrameLost = 1;
inline constexpr int kStatusCannotStart = 2;
inline constexpr int kStatusListeningStopped = 3;

class Monitor final : public PressHandler {
 public:
  Monitor(const KeyNames& names, InputSource source, Services& services, DescriptorWait& wait, Channel& channel)
      : names_(names), source_(std::move(source)), s_(services), wait_(wait), channel_(channel), parent_(s_.process) {}

  // Starts, then reports until an end; the exit status, its Error Message written.
  int run();

  // Checks the permission and the recorded frame, starts listening and sends `ready`.
  Outcome start();
  Outcome onKeyDown(std::int64_t keyCode, std::uint64_t flags) override;
  Outcome onButtonDown(Point location) override;
  // One firing of the sampling timer: the parent watch, then a sample.
  Outcome onTick();

 private:
  // From `ready` to the end: the first sample at once, then one every interval.
  Exit listen();
  // The presses that have arrived, then whether the listening still works.
  Outcome drain();
  // The recorded frame, read afresh each time.
  std::optional<Rect> bounds();
  // Sends a click or pointer sample with the recorded frame, or ends when
  // the frame can no longer be measured.
  Outcome pointer(const char* type, Point location);
  Outcome listeningStopped();
  Outcome emit(const Json& message);

  const KeyNames& names_;
  InputSource source_;
  Services& s_;
  DescriptorWait& wait_;
  Channel& channel_;
  ParentWatch parent_;
};

}  // namespace quorvane::input
