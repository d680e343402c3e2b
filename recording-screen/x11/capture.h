// The capture service on X11: RandR monitors are the displays, the owners of
// top-level windows are the applications, XDamage tells a changed monitor from
// an idle one, and the compositor builds and reads the picture when a frame is
// handled.
#pragma once

#include <climits>
#include <memory>
#include <mutex>

#include <xcb/damage.h>

#include "common/x11/connection.h"
#include "recording-screen/capture.h"
#include "recording-screen/posix/wake_up.h"
#include "recording-screen/x11/compositor.h"

namespace quorvane::recording::x11 {

class X11Capture final : public CaptureService, private RowsArriving {
 public:
  // Before the capture; connects to $DISPLAY in permitted().
  bool permitted() override;
  ContentResult shareableContent() override;
  std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration) override;
  // On the sample worker: composes the picture now; its rows arrive while
  // they are encoded.
  Picture readPicture() override;
  // On the capture thread (wake() from any): the damage is taken at each tick.
  Waited wait(int timeoutMs) override;
  std::optional<bool> takeChange() override;
  void wake() override { wakeUp_.wake(); }

 private:
  bool await(std::uint32_t bottom) override { return compositor_->await(bottom); }
  std::optional<bool> arrivedYet(std::uint32_t bottom) override { return compositor_->arrivedYet(bottom); }
  std::optional<StreamEnd> end() override;

  bool takeDamage();
  std::vector<RowSpan> takeDamagedRows();
  void drainEvents();
  bool pointerMoved();

  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Compositor> compositor_;
  ContentFilter filter_;
  StreamConfiguration configuration_;
  Area monitor_;
  xcb_damage_damage_t damage_ = XCB_NONE;
  std::uint8_t damageEvent_ = 0;
  std::uint8_t xfixesEvent_ = 0;
  bool firstFrame_ = true;
  std::int32_t pointerX_ = INT32_MIN, pointerY_ = INT32_MIN;
  posix::WakeUp wakeUp_;

  // Damage seen by the ticks (whether a frame is complete) and by the frames
  // (which rows to read again), from the one event queue.
  std::mutex eventsLock_;
  bool damagedSinceTick_ = false;
  std::vector<RowSpan> damagedRows_;
};

}  // namespace quorvane::recording::x11
