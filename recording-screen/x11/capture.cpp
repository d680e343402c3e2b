#include "recording-screen/x11/capture.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

#include <xcb/xfixes.h>

#include "common/x11/windows.h"

namespace quorvane::recording::x11 {

namespace {

using quorvane::x11::Reply;

constexpr char kConnectionLost[] = "the connection to the X server was lost";
// A capture thread stuck behind another client's server grab is not waited
// for longer: the process is ending.
constexpr auto kHaltWait = std::chrono::seconds(2);

bool sameArea(const Area& a, const quorvane::x11::Monitor& m) {
  return a.x == m.x && a.y == m.y && a.width == m.width && a.height == m.height;
}

// A frame's pixels, composed when (and if) the sample worker asks for them.
class LazyFrame final : public FrameImage {
 public:
  LazyFrame(X11Capture& capture, Compositor& compositor, const Connection& connection, StreamOutput& output,
            std::uint32_t display, Area monitor, std::vector<std::int32_t> excluded, bool cursor)
      : capture_(capture), compositor_(compositor), connection_(connection), output_(output), display_(display),
        monitor_(monitor), excluded_(std::move(excluded)), cursor_(cursor) {}
  std::optional<PixelView> pixels() override {
    // A monitor unplugged, resized or moved since the start would be recorded
    // as the wrong area, or not fit the picture.
    auto all = quorvane::x11::monitors(connection_);
    bool same = std::any_of(all.begin(), all.end(),
                            [&](const auto& m) { return m.id == display_ && sameArea(monitor_, m); });
    if (!same && !connection_.broken()) {
      output_.displayGone();
      return std::nullopt;
    }
    auto view = compositor_.compose(excluded_, cursor_, capture_.takeDamagedRows());
    // A picture lost with the connection is the stream failing, not the encoder.
    if (!view && connection_.broken()) output_.stoppedWithError(kConnectionLost);
    return view;
  }

 private:
  X11Capture& capture_;
  Compositor& compositor_;
  const Connection& connection_;
  StreamOutput& output_;
  std::uint32_t display_;
  Area monitor_;
  std::vector<std::int32_t> excluded_;
  bool cursor_;
};

bool intersects(const xcb_rectangle_t& r, const Area& m) {
  return r.x < m.x + static_cast<std::int64_t>(m.width) && m.x < r.x + static_cast<std::int64_t>(r.width) &&
         r.y < m.y + static_cast<std::int64_t>(m.height) && m.y < r.y + static_cast<std::int64_t>(r.height);
}

}  // namespace

X11Capture::X11Capture() = default;

X11Capture::~X11Capture() { halt(); }

bool X11Capture::permitted() {
  // Connected only now, after the command line was found good.
  if (!connection_) connection_ = Connection::open();
  if (!connection_ || connection_->broken()) return false;
  // X has no capture permission: the screen can be read when the root answers.
  Reply<xcb_get_geometry_reply_t> root(
      xcb_get_geometry_reply(connection_->get(), xcb_get_geometry(connection_->get(), connection_->root()), nullptr));
  return root != nullptr;
}

ContentResult X11Capture::shareableContent() {
  if (!connection_ || connection_->broken()) return {std::nullopt, kConnectionLost};
  ShareableContent content;
  for (const auto& m : quorvane::x11::monitors(*connection_)) {
    content.displays.push_back(Display{m.id, m.width, m.height});
  }
  content.applicationPids = ownerPids(windowsWithOwners(*connection_));
  if (connection_->broken()) return {std::nullopt, kConnectionLost};
  return {content, {}};
}

std::optional<std::string> X11Capture::start(const ContentFilter& filter, const StreamConfiguration& configuration,
                                             StreamOutput& output) {
  xcb_connection_t* x = connection_->get();
  filter_ = filter;
  configuration_ = configuration;
  output_ = &output;
  for (const auto& m : quorvane::x11::monitors(*connection_)) {
    if (m.id == filter.display.id) monitor_ = Area{m.x, m.y, configuration.width, configuration.height};
  }
  if (monitor_.width == 0 || monitor_.height == 0) return std::string("the monitor has no pixels");

  std::string error;
  compositor_ = Compositor::create(*connection_, monitor_, error);
  if (!compositor_) return error;

  if (!connection_->hasExtension(&xcb_damage_id)) return std::string("the X server lacks the DAMAGE extension");
  Reply<xcb_damage_query_version_reply_t> version(
      xcb_damage_query_version_reply(x, xcb_damage_query_version(x, 1, 1), nullptr));
  if (!version) return std::string("the X server did not answer the DAMAGE version query");
  const auto* damage = xcb_get_extension_data(x, &xcb_damage_id);
  const auto* xfixes = xcb_get_extension_data(x, &xcb_xfixes_id);
  if (!damage || !xfixes) return std::string(kConnectionLost);
  damageEvent_ = damage->first_event;
  xfixesEvent_ = xfixes->first_event;
  damage_ = xcb_generate_id(x);
  xcb_damage_create(x, damage_, connection_->root(), XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
  if (configuration.showsCursor) {
    xcb_xfixes_select_cursor_input(x, connection_->root(), XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
  }
  xcb_flush(x);
  if (connection_->broken()) return std::string(kConnectionLost);
  thread_ = std::thread([this] { run(); });
  return std::nullopt;
}

std::optional<std::string> X11Capture::stop() {
  halt();
  return std::nullopt;
}

void X11Capture::frameRequested() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    requested_ = true;
  }
  wake_.notify_all();
}

void X11Capture::halt() {
  std::unique_lock<std::mutex> lock(mutex_);
  halted_ = true;
  wake_.notify_all();
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  bool finished = wake_.wait_for(lock, kHaltWait, [this] { return finished_; });
  lock.unlock();
  if (finished) thread_.join();
  else thread_.detach();
}

void X11Capture::run() {
  loop();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    finished_ = true;
  }
  wake_.notify_all();
}

void X11Capture::loop() {
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / std::max(configuration_.frameRate, 1)));
  auto next = Clock::now();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // A request does not wait for the next tick.
      wake_.wait_until(lock, next, [this] { return halted_ || requested_; });
      if (halted_) return;
      requested_ = false;
    }
    if (connection_->broken()) {
      output_->stoppedWithError(kConnectionLost);
      // Parks until halted: a thread that finished unjoined when the process
      // ends is a leak, and the process ends without halting it.
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return halted_; });
      return;
    }
    tick();
    auto now = Clock::now();
    next = std::max(next + interval, now);
    if (next > now + interval) next = now + interval;
  }
}

void X11Capture::tick() {
  bool changed = takeDamage();
  if (configuration_.showsCursor && pointerMoved()) changed = true;
  if (firstFrame_) changed = true;
  firstFrame_ = false;
  Sample sample;
  sample.valid = true;
  sample.status = changed ? kFrameComplete : kFrameIdle;
  sample.image = std::make_shared<LazyFrame>(*this, *compositor_, *connection_, *output_, filter_.display.id, monitor_,
                                             filter_.excludedPids, configuration_.showsCursor);
  output_->deliver(std::move(sample));
}

// Whether anything was drawn on the monitor since the last tick.
bool X11Capture::takeDamage() {
  drainEvents();
  std::lock_guard<std::mutex> guard(eventsLock_);
  return std::exchange(damagedSinceTick_, false);
}

std::vector<RowSpan> X11Capture::takeDamagedRows() {
  drainEvents();
  std::lock_guard<std::mutex> guard(eventsLock_);
  return std::exchange(damagedRows_, {});
}

void X11Capture::drainEvents() {
  std::lock_guard<std::mutex> guard(eventsLock_);
  bool any = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->get())) {
    std::uint8_t type = event->response_type & 0x7F;
    if (type == damageEvent_ + XCB_DAMAGE_NOTIFY) {
      any = true;
      const auto& area = reinterpret_cast<xcb_damage_notify_event_t*>(event)->area;
      if (intersects(area, monitor_)) {
        damagedSinceTick_ = true;
        const std::int64_t top = std::max<std::int64_t>(std::int64_t{area.y} - monitor_.y, 0);
        const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{area.y} + area.height - monitor_.y, monitor_.height);
        keepChanged(damagedRows_, {static_cast<std::uint32_t>(top), static_cast<std::uint32_t>(bottom)});
      }
    } else if (type == xfixesEvent_ + XCB_XFIXES_CURSOR_NOTIFY) {
      damagedSinceTick_ = true;  // the cursor changed shape; its rows are read again anyway
    }
    // Errors of requests nobody checks (a window gone mid-frame) land here too; they are normal.
    std::free(event);
  }
  if (any) {
    xcb_damage_subtract(connection_->get(), damage_, XCB_NONE, XCB_NONE);
    xcb_flush(connection_->get());
  }
}

bool X11Capture::pointerMoved() {
  auto at = quorvane::x11::pointer(*connection_);
  if (!at) return false;
  const auto px = static_cast<std::int32_t>(at->x), py = static_cast<std::int32_t>(at->y);
  auto inside = [this](std::int32_t x, std::int32_t y) {
    return x >= monitor_.x && x < monitor_.x + static_cast<std::int64_t>(monitor_.width) && y >= monitor_.y &&
           y < monitor_.y + static_cast<std::int64_t>(monitor_.height);
  };
  bool moved = px != pointerX_ || py != pointerY_;
  // Moves elsewhere do not change this monitor's picture.
  bool seen = moved && (inside(px, py) || inside(pointerX_, pointerY_));
  pointerX_ = px;
  pointerY_ = py;
  return seen;
}

}  // namespace quorvane::recording::x11
