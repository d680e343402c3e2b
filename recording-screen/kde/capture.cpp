#include "recording-screen/kde/capture.h"

#include <array>
#include <chrono>
#include <utility>

#include <unistd.h>

#include "common/kde/kwin_screenshot.h"
#include "recording-screen/wayland/outputs.h"

namespace quorvane::recording::kde {

namespace {

constexpr char kConnectionLost[] = "the connection to the compositor was lost";

std::string failureText(const quorvane::kde::ShotOutcome& outcome) {
  switch (outcome.failure) {
    case quorvane::kde::ShotFailure::kNotAuthorized: return "KWin no longer lets this program take screenshots";
    case quorvane::kde::ShotFailure::kNoAnswer: return "KWin's screenshot service stopped answering";
    case quorvane::kde::ShotFailure::kRefused:
      return "KWin's screenshot service refused the capture: " + outcome.detail;
    case quorvane::kde::ShotFailure::kBadImage: break;
  }
  return "KWin's screenshot service sent no image of a known layout";
}

constexpr std::chrono::milliseconds kLeaveWait{500};
// One script a process, so that streamers running side by side keep theirs.
constexpr char kChangesScript[] = "quorvane-recording-screen-changes-";
// Reports one change and the next only once we have answered, remembering
// whatever happens meanwhile: a busy screen costs KWin one call per answer.
// KWin 6 calls the windows what 5.27 calls clients.
constexpr char kChangesBody[] = R"(var waiting = false, pending = false;
function tell() {
  waiting = true; pending = false;
  callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, "Report", "changed", 0, 0,
           function() { waiting = false; if (pending) tell(); });
}
function changed() { if (waiting) pending = true; else tell(); }
function watch(w) { w.damaged.connect(changed); w.frameGeometryChanged.connect(changed); }
var six = typeof workspace.windowList === "function";
(six ? workspace.windowList() : workspace.clientList()).forEach(watch);
(six ? workspace.windowAdded : workspace.clientAdded).connect(function(w) { watch(w); changed(); });
(six ? workspace.windowRemoved : workspace.clientRemoved).connect(changed);
(six ? workspace.windowActivated : workspace.clientActivated).connect(changed);
)";
constexpr char kCursorBody[] = "workspace.cursorPosChanged.connect(changed);\n";

}  // namespace

KWinCapture::KWinCapture(std::unique_ptr<quorvane::wayland::Connection> connection,
                         std::unique_ptr<quorvane::wayland::PlasmaWindowManagement> windows)
    : listConnection_(std::move(connection)), windows_(std::move(windows)) {}

bool KWinCapture::permitted() {
  outputs_ = quorvane::wayland::Connection::open();
  bus_ = quorvane::kde::openSessionBus();
  if (!outputs_ || outputs_->outputs().empty() || !bus_) return false;
  // The grant is checked on each call; one pixel of the first output asks.
  const auto& first = *outputs_->outputs().front();
  auto probe = quorvane::kde::KWinScreenShot(bus_.get()).area(first.x, first.y, 1, 1, false,
                                                               quorvane::posix::answerDeadline());
  return probe.shot.has_value();
}

ContentResult KWinCapture::shareableContent() {
  if (!outputs_ || outputs_->broken()) return {std::nullopt, kConnectionLost};
  if (!windows_->refresh(quorvane::posix::answerDeadline())) return {std::nullopt, "KWin's window list cannot be read"};
  ShareableContent content{wayland::displaysOf(*outputs_), {}};
  content.applicationPids = windowPids(windows_->windows());
  return {content, {}};
}

std::optional<std::string> KWinCapture::start(const ContentFilter& filter, const StreamConfiguration& configuration) {
  filter_ = filter;
  configuration_ = configuration;
  changesSeen_ = outputs_->changes();
  const auto* o = wayland::configuredOutput(*outputs_, filter, configuration);
  if (!o) return std::string(wayland::kOutputChanged);
  if (o->name.empty()) return std::string("the output has no name to capture it by");
  outputName_ = o->name;
  place_ = wayland::placeOf(*o, false);
  if (!wakeUp_.valid()) return std::string("no event descriptor for the capture thread");
  watchChanges();
  return std::nullopt;
}

void KWinCapture::watchChanges() {
  changesBus_ = quorvane::kde::openSessionBus();
  if (!changesBus_) return;
  const std::string body = std::string(kChangesBody) + (configuration_.showsCursor ? kCursorBody : "");
  auto told = [this](const quorvane::kde::ScriptReport&) { changed_ = toldInWait_ = true; };
  scriptName_ = kChangesScript + std::to_string(getpid());
  changes_ = quorvane::kde::KWinScript::load(changesBus_.get(), scriptName_, body, told,
                                             quorvane::posix::answerDeadline());
}

void KWinCapture::leave() {
  if (scriptName_.empty()) return;
  auto bus = quorvane::kde::openSessionBus();
  // A short wait: the process is ending.
  if (bus) quorvane::kde::unloadScript(bus.get(), scriptName_, std::chrono::steady_clock::now() + kLeaveWait);
}

std::optional<bool> KWinCapture::takeChange() {
  if (!changes_) return true;
  return std::exchange(changed_, false);
}

Waited KWinCapture::wait(int timeoutMs) {
  toldInWait_ = false;
  if (!end_) {
    // Reports already read from the bus are handed on before the wait.
    if (changes_ && !changes_->dispatch()) changes_.reset();
    std::array<pollfd, 2> others{wakeUp_.pollFor(), pollfd{-1, 0, 0}};
    if (changes_) {
      others[1] = {sd_bus_get_fd(changesBus_.get()), static_cast<short>(sd_bus_get_events(changesBus_.get())), 0};
    }
    if (toldInWait_) timeoutMs = 0;
    if (!outputs_->wait(others, timeoutMs)) {
      end({false, kConnectionLost});
    } else {
      if (others[0].revents & POLLIN) wakeUp_.clear();
      // A bus that failed tells no more changes: every tick is one from now on.
      if (changes_ && !changes_->dispatch()) changes_.reset();
      checkOutput();
    }
  }
  return {toldInWait_, end_};
}

void KWinCapture::end(StreamEnd why) {
  if (!end_) end_ = std::move(why);
}

// A change of size or name is another display; a move only moves where the
// application's windows fall in it.
void KWinCapture::checkOutput() {
  if (end_ || outputs_->changes() == changesSeen_) return;
  changesSeen_ = outputs_->changes();
  const auto* o = wayland::configuredOutput(*outputs_, filter_, configuration_);
  if (!o || o->name != outputName_) return end({true, {}});
  std::lock_guard<std::mutex> guard(placeLock_);
  place_ = wayland::placeOf(*o, false);
}

Picture KWinCapture::readPicture() {
  auto outcome = quorvane::kde::KWinScreenShot(bus_.get())
                     .screen(outputName_, configuration_.showsCursor, quorvane::posix::answerDeadline());
  if (!outcome.shot) return {std::nullopt, StreamEnd{false, failureText(outcome)}};
  auto& shot = *outcome.shot;
  if (shot.layout.width != configuration_.width || shot.layout.height != configuration_.height) {
    return {std::nullopt, StreamEnd{true, {}}};
  }
  toBgrx(shot);
  // Read after the capture: a window of theirs that moved meanwhile is also
  // painted over where it lay at the look before. No list, the whole frame.
  std::optional<std::vector<wayland::ListedWindow>> listed;
  if (windows_->refresh(quorvane::posix::answerDeadline())) {
    listed = plasmaWindows(windows_->windows(), filter_.excludedPids, ids_);
  }
  wayland::OutputPlace place;
  {
    std::lock_guard<std::mutex> guard(placeLock_);
    place = place_;
  }
  auto covered = wayland::coveredBy(listed, filter_.excludedPids, place, placesBefore_);
  placesBefore_ = std::move(covered.places);
  wayland::paintOver(shot.bytes.data(), shot.layout.stride, shot.layout.width, shot.layout.height, covered.pixels);

  before_ = std::exchange(given_, std::move(shot.bytes));
  const auto strideBefore = std::exchange(givenStride_, shot.layout.stride);
  PixelView view{given_.data(), shot.layout.width, shot.layout.height, shot.layout.stride, std::nullopt};
  // Painted areas are in both frames: they count as changed only where they differ.
  if (before_.size() == given_.size() && strideBefore == givenStride_) {
    view.changed = rowsChanged(before_.data(), given_.data(), view.stride, view.width, view.height);
  }
  return {view, std::nullopt};
}

}  // namespace quorvane::recording::kde
