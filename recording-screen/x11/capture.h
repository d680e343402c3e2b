// The capture service on X11: RandR monitors are the displays, the owners of
// top-level windows are the applications, and a capture thread ticks at the
// frame rate, telling complete frames (something was drawn) from idle ones
// with XDamage. Pixels are composed and read only when a frame is handled.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <xcb/damage.h>

#include "common/x11/connection.h"
#include "recording-screen/capture.h"
#include "recording-screen/x11/compositor.h"

namespace quorvane::recording::x11 {

class X11Capture final : public CaptureService {
 public:
  // Connects to $DISPLAY in permitted().
  X11Capture();
  ~X11Capture() override;

  bool permitted() override;
  ContentResult shareableContent() override;
  std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration,
                                   StreamOutput& output) override;
  std::optional<std::string> stop() override;
  void frameRequested() override;
  void halt() override;

  // The monitor rows drawn on since the last call (events still queued
  // included). Called by the frame being composed.
  std::vector<RowSpan> takeDamagedRows();

 private:
  void tick();
  bool takeDamage();
  void drainEvents();
  bool pointerMoved();
  void run();
  void loop();

  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Compositor> compositor_;
  StreamOutput* output_ = nullptr;
  ContentFilter filter_;
  StreamConfiguration configuration_;
  Area monitor_;
  xcb_damage_damage_t damage_ = XCB_NONE;
  std::uint8_t damageEvent_ = 0;
  std::uint8_t xfixesEvent_ = 0;
  bool firstFrame_ = true;
  std::int32_t pointerX_ = INT32_MIN, pointerY_ = INT32_MIN;

  // Damage seen by the ticks (whether a frame is complete) and by the frames
  // (which rows to read again), from the one event queue.
  std::mutex eventsLock_;
  bool damagedSinceTick_ = false;
  std::vector<RowSpan> damagedRows_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool halted_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace quorvane::recording::x11
