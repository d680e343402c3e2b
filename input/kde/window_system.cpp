#include "input/kde/window_system.h"

#include <cmath>

#include "common/posix/session.h"
#include "input/kde/plasma_list.h"
#include "input/texts.h"

namespace quorvane::input::kde {

namespace {

using quorvane::wayland::PlasmaWindow;

// Tells the pointer's place at once, then after each move, the next report
// only once we have answered the one before: a pointer moving fast costs
// KWin one call per answer, a still one nothing.
constexpr char kPointerBody[] = R"(var waiting = false, moved = false;
function tell() {
  waiting = true; moved = false;
  callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, "Report", "pointer", workspace.cursorPos.x, workspace.cursorPos.y,
           function() { waiting = false; if (moved) tell(); });
}
workspace.cursorPosChanged.connect(function() { if (waiting) moved = true; else tell(); });
tell();
)";

// Far beyond any screen: a report outside is not a place.
constexpr double kLargestCoordinate = 1 << 20;

}  // namespace

KWinWindowSystem::KWinWindowSystem(std::unique_ptr<quorvane::wayland::Connection> connection,
                                   std::unique_ptr<PlasmaWindowManagement> windows)
    : WaylandWindowSystem(std::move(connection)), windows_(std::move(windows)) {}

KWinWindowSystem::~KWinWindowSystem() = default;

std::optional<std::vector<PlasmaWindow>> KWinWindowSystem::windows() {
  if (!connection() || !windows_->refresh(quorvane::posix::answerDeadline())) return std::nullopt;
  return windows_->windows();
}

bool KWinWindowSystem::activateWindow(const PlasmaWindow& window) {
  return windows_->activate(window.uuid, quorvane::posix::answerDeadline());
}

std::optional<WindowList> KWinWindowSystem::onScreenWindows() {
  auto all = windows();
  if (!all) return std::nullopt;
  return plasmaWindowList(*all, true);
}

std::optional<WindowList> KWinWindowSystem::windowById(std::uint32_t number) {
  auto all = windows();
  if (!all) return std::nullopt;
  auto window = windowNumbered(*all, number);
  if (!window) return WindowList{};
  return plasmaWindowList({*window}, false);
}

bool KWinWindowSystem::running(std::int32_t pid) {
  auto all = windows();
  return all && frontWindowOf(*all, pid).has_value();
}

void KWinWindowSystem::activate(std::int32_t pid) {
  auto all = windows();
  if (auto window = all ? frontWindowOf(*all, pid) : std::nullopt) activateWindow(*window);
}

std::optional<std::int32_t> KWinWindowSystem::frontmostPid() {
  auto all = windows();
  return all ? activePid(*all) : std::nullopt;
}

std::optional<std::vector<AccessibilityWindow>> KWinWindowSystem::accessibilityWindows(std::int32_t pid) {
  auto all = windows();
  if (!all) return std::nullopt;
  return accessibilityWindowsIn(plasmaWindowList(*all, false), pid);
}

bool KWinWindowSystem::raise(const AccessibilityWindow& window) {
  auto all = windows();
  if (!all || window.handle > UINT32_MAX) return false;
  auto found = windowNumbered(*all, static_cast<std::uint32_t>(window.handle));
  return found && activateWindow(*found);
}

std::optional<WindowDescription> KWinWindowSystem::frontAt(Point point) {
  auto list = onScreenWindows();
  if (!list) return std::nullopt;
  return windowAt(std::move(*list), point);
}

std::optional<std::int32_t> KWinWindowSystem::pidAt(Point point) {
  auto window = frontAt(point);
  return window ? asI32(*window, WindowKey::OwnerPid) : std::nullopt;
}

bool KWinWindowSystem::postAccess() {
  if (!input_ && connection()) {
    input_ = quorvane::wayland::FakeInput::open(connection()->display(), texts::kFakeInputApplication,
                                                texts::kFakeInputReason, quorvane::posix::answerDeadline());
  }
  return input_ != nullptr;
}

std::optional<Point> KWinWindowSystem::pointerLocation() { return pointerScript_ && told_ ? told_ : placed_; }

bool KWinWindowSystem::movePointer(Point to) {
  if (!input_ || !connection() || !onOutput(to)) return false;
  const Point at{std::floor(to.x), std::floor(to.y)};
  input_->moveTo(at.x, at.y);
  if (!input_->flush(quorvane::posix::answerDeadline())) return false;
  placed_ = at;
  return true;
}

WheelResult KWinWindowSystem::scrollWheel(int pixels, std::uint32_t target) {
  auto at = placed_;
  if (!input_ || !at) return WheelResult::CannotCreate;
  auto window = frontAt(*at);
  if (!window || asU32(*window, WindowKey::Number) != target) return WheelResult::TargetChanged;
  input_->scroll(pixels);
  return input_->flush(quorvane::posix::answerDeadline()) ? WheelResult::Posted : WheelResult::CannotCreate;
}

bool KWinWindowSystem::startListening() {
  if (!WaylandWindowSystem::startListening()) return false;
  bus_ = quorvane::kde::openSessionBus();
  if (!bus_) return true;
  auto told = [this](const quorvane::kde::ScriptReport& r) {
    const bool place = r.what == "pointer" && std::fabs(r.a) < kLargestCoordinate &&
                       std::fabs(r.b) < kLargestCoordinate;
    if (place) told_ = Point{r.a, r.b};
  };
  pointerScript_ = quorvane::kde::KWinScript::load(bus_.get(), kPointerScript, kPointerBody, told,
                                                   quorvane::posix::answerDeadline());
  return true;
}

void KWinWindowSystem::takeReports() {
  if (pointerScript_ && !pointerScript_->dispatch()) pointerScript_.reset();
}

std::vector<int> KWinWindowSystem::pressDescriptors() {
  auto descriptors = WaylandWindowSystem::pressDescriptors();
  if (pointerScript_) descriptors.push_back(sd_bus_get_fd(bus_.get()));
  return descriptors;
}

Outcome KWinWindowSystem::drainPresses(PressHandler& handler) {
  // The place first: a click goes with where the pointer is now.
  takeReports();
  return WaylandWindowSystem::drainPresses(handler);
}

}  // namespace quorvane::input::kde
