// quorvane-input on KWin, which its `.desktop` grant lets this program use:
// the window questions of a compositor that lists its windows, answered from
// KWin's window list (plasma_list.h), windows brought to the front by
// activating them through it, and KWin's fake input for the pointer and the
// wheel. The input monitor learns where the
// pointer is from a script inside KWin that reports each move, one report
// awaiting our answer at a time; without it the monitor sends no pointer
// samples or clicks, as in any Wayland session.
#pragma once

#include <memory>
#include <optional>

#include "common/kde/kwin_script.h"
#include "common/kde/session_bus.h"
#include "common/wayland/fake_input.h"
#include "common/wayland/plasma_windows.h"
#include "input/wayland/listed_window_system.h"

namespace quorvane::input::kde {

using quorvane::wayland::PlasmaWindowManagement;

// The monitor's pointer script, one for every helper: a run killed before it
// could unload it leaves it to the next run, which unloads it first.
inline constexpr char kPointerScript[] = "quorvane-input-pointer";

class KWinWindowSystem final : public wayland::ListedWindowSystem {
 public:
  // `windows` is KWin's window list read on `connection`: offered only to a
  // program the grant names.
  KWinWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection,
                   std::unique_ptr<PlasmaWindowManagement> windows);
  ~KWinWindowSystem() override;

  std::optional<std::int32_t> frontmostPid() override;

  bool postAccess() override;
  // Where KWin's script last said, else where we last put the pointer.
  std::optional<Point> pointerLocation() override;
  bool movePointer(Point to) override;

  // The input devices, and the pointer script when KWin takes it.
  bool startListening() override;
  std::vector<int> pressDescriptors() override;
  Outcome drainPresses(PressHandler& handler) override;

 protected:
  std::optional<WindowList> windows(bool onScreenOnly) override;
  std::optional<std::uint32_t> frontWindowOf(std::int32_t pid) override;
  // Activates the window through KWin's list and waits until KWin says it is active.
  bool focus(std::uint32_t number) override;
  std::optional<Point> placed() override { return placed_; }
  bool turnWheel(int pixels) override;

 private:
  // KWin's windows now, front to back; nothing when KWin did not answer.
  std::optional<std::vector<quorvane::wayland::PlasmaWindow>> plasma();
  // Reports the script has sent meanwhile; the script is dropped once the bus fails.
  void takeReports();

  std::unique_ptr<PlasmaWindowManagement> list_;
  std::unique_ptr<quorvane::wayland::FakeInput> input_;
  std::optional<Point> placed_;  // where fake input last put the pointer

  quorvane::kde::Bus bus_;
  std::unique_ptr<quorvane::kde::KWinScript> pointerScript_;
  std::optional<Point> told_;  // where the script last said the pointer is
};

}  // namespace quorvane::input::kde
