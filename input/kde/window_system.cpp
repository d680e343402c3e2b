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
    : ListedWindowSystem(std::move(connection)), list_(std::move(windows)) {}

KWinWindowSystem::~KWinWindowSystem() = default;

std::optional<std::vector<PlasmaWindow>> KWinWindowSystem::plasma() {
  if (!connection() || !list_->refresh(quorvane::posix::answerDeadline())) return std::nullopt;
  return list_->windows();
}

std::optional<WindowList> KWinWindowSystem::windows(bool onScreenOnly) {
  auto all = plasma();
  if (!all) return std::nullopt;
  return plasmaWindowList(*all, onScreenOnly);
}

std::optional<std::uint32_t> KWinWindowSystem::frontWindowOf(std::int32_t pid) {
  auto all = plasma();
  auto window = all ? quorvane::input::kde::frontWindowOf(*all, pid) : std::nullopt;
  return window ? std::optional(windowNumber(window->uuid)) : std::nullopt;
}

bool KWinWindowSystem::focus(std::uint32_t number) {
  auto all = plasma();
  auto window = all ? windowNumbered(*all, number) : std::nullopt;
  return window && list_->activate(window->uuid, quorvane::posix::answerDeadline());
}

std::optional<std::int32_t> KWinWindowSystem::frontmostPid() {
  auto all = plasma();
  return all ? activePid(*all) : std::nullopt;
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

bool KWinWindowSystem::turnWheel(int pixels) {
  if (!input_) return false;
  input_->scroll(pixels);
  return input_->flush(quorvane::posix::answerDeadline());
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
