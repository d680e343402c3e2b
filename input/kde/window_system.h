// quorvane-input on KWin, which its `.desktop` grant lets this program use:
// everything of any Wayland session, KWin's window list (plasma_list.h) for
// the windows, activation through it for applications and windows, and KWin's
// fake input for the pointer and the wheel. The input monitor learns where the
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
#include "input/wayland/window_system.h"

namespace quorvane::input::kde {

using quorvane::wayland::PlasmaWindowManagement;

// The monitor's pointer script, one for every helper: a run killed before it
// could unload it leaves it to the next run, which unloads it first.
inline constexpr char kPointerScript[] = "quorvane-input-pointer";

class KWinWindowSystem final : public wayland::WaylandWindowSystem {
 public:
  // `windows` is KWin's window list read on `connection`: offered only to a
  // program the grant names.
  KWinWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection,
                   std::unique_ptr<PlasmaWindowManagement> windows);
  ~KWinWindowSystem() override;

  std::optional<WindowList> onScreenWindows() override;
  std::optional<WindowList> windowById(std::uint32_t number) override;

  bool running(std::int32_t pid) override;
  void activate(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostPid() override;

  // KWin's window list needs nothing beyond the grant that gave it.
  bool accessibilityTrusted() override { return true; }
  std::optional<std::vector<AccessibilityWindow>> accessibilityWindows(std::int32_t pid) override;
  bool raise(const AccessibilityWindow& window) override;
  std::optional<std::int32_t> pidAt(Point point) override;

  bool postAccess() override;
  // Where KWin's script last said, else where we last put the pointer.
  std::optional<Point> pointerLocation() override;
  bool movePointer(Point to) override;
  WheelResult scrollWheel(int pixels, std::uint32_t target) override;

  // The input devices, and the pointer script when KWin takes it.
  bool startListening() override;
  std::vector<int> pressDescriptors() override;
  Outcome drainPresses(PressHandler& handler) override;

 private:
  // KWin's windows now, front to back; nothing when KWin did not answer.
  std::optional<std::vector<quorvane::wayland::PlasmaWindow>> windows();
  bool activateWindow(const quorvane::wayland::PlasmaWindow& window);
  // The front on-screen window at the point (an empty description for none);
  // nothing when KWin did not answer.
  std::optional<WindowDescription> frontAt(Point point);
  // Reports the script has sent meanwhile; the script is dropped once the bus fails.
  void takeReports();

  std::unique_ptr<PlasmaWindowManagement> windows_;
  std::unique_ptr<quorvane::wayland::FakeInput> input_;
  std::optional<Point> placed_;  // where fake input last put the pointer

  quorvane::kde::Bus bus_;
  std::unique_ptr<quorvane::kde::KWinScript> pointerScript_;
  std::optional<Point> told_;  // where the script last said the pointer is
};

}  // namespace quorvane::input::kde
