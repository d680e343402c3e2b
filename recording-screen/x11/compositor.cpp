#include "recording-screen/x11/compositor.h"

#include <algorithm>
#include <cstring>
#include <poll.h>

#include <xcb/composite.h>
#include <xcb/shm.h>
#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

namespace quorvane::recording::x11 {

namespace {

using quorvane::x11::Reply;

constexpr std::uint32_t kBytesPerPixel = 4;
// Rows read back per request: small enough that encoding starts soon after
// the read, large enough that the requests cost nothing next to the pixels.
constexpr std::uint32_t kBandRows = 128;
// Larger than any real cursor; a bound on what the server may hand us.
constexpr std::uint32_t kMaxCursorSide = 1024;
// A reader sleeping on the connection is woken by what arrives, but another
// thread may take the answer in first; then it looks again after this long,
// longer each time, so that a stalled server costs few wake-ups.
constexpr int kFirstRecheckMs = 1;
constexpr int kLastRecheckMs = 8;

struct Source {
  xcb_drawable_t drawable;
  std::int16_t x, y;
};

bool contains(const std::vector<std::int32_t>& pids, std::int32_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

std::optional<xcb_rectangle_t> clipTo(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, const Area& m) {
  std::int64_t left = std::max<std::int64_t>(x - m.x, 0);
  std::int64_t top = std::max<std::int64_t>(y - m.y, 0);
  std::int64_t right = std::min<std::int64_t>(x - m.x + w, m.width);
  std::int64_t bottom = std::min<std::int64_t>(y - m.y + h, m.height);
  if (right <= left || bottom <= top) return std::nullopt;
  return xcb_rectangle_t{static_cast<std::int16_t>(left), static_cast<std::int16_t>(top),
                         static_cast<std::uint16_t>(right - left), static_cast<std::uint16_t>(bottom - top)};
}

bool overlaps(const quorvane::x11::TopLevel& w, const std::vector<xcb_rectangle_t>& holes, const Area& m) {
  auto own = clipTo(w.x, w.y, w.width + 2 * std::int64_t{w.border}, w.height + 2 * std::int64_t{w.border}, m);
  if (!own) return false;
  for (const auto& h : holes) {
    if (own->x < h.x + h.width && h.x < own->x + own->width && own->y < h.y + h.height && h.y < own->y + own->height)
      return true;
  }
  return false;
}

}  // namespace

std::vector<Window> windowsWithOwners(const Connection& c) {
  // Any client may put a window of its own, WM_STATE and all, inside another's
  // top-level or frame, where it would pass for the client: so every window
  // in it counts, not the first client found.
  auto owned = quorvane::x11::ownedTopLevels(c);
  std::vector<Window> windows;
  windows.reserve(owned.size());
  for (auto& o : owned) {
    Window w{o.top, {}, !o.inside.complete};
    for (const auto& pid : o.pids) {
      if (!pid) w.ownerUnknown = true;
      else if (!contains(w.pids, *pid)) w.pids.push_back(*pid);
    }
    windows.push_back(std::move(w));
  }
  return windows;
}

std::vector<std::int32_t> ownerPids(const std::vector<Window>& windows) {
  std::vector<std::int32_t> pids;
  for (const auto& w : windows) {
    for (auto pid : w.pids) {
      if (!contains(pids, pid)) pids.push_back(pid);
    }
  }
  return pids;
}

bool leftOut(const Window& w, const std::vector<std::int32_t>& excludedPids) {
  if (w.ownerUnknown) return true;
  return std::any_of(w.pids.begin(), w.pids.end(), [&](std::int32_t pid) { return contains(excludedPids, pid); });
}

std::vector<xcb_rectangle_t> hiddenAreas(const std::vector<Window>& windows, const std::vector<std::int32_t>& owners,
                                         const Area& monitor) {
  if (windows.size() >= quorvane::x11::kMaxWindows) {
    return {xcb_rectangle_t{0, 0, static_cast<std::uint16_t>(monitor.width), static_cast<std::uint16_t>(monitor.height)}};
  }
  std::vector<xcb_rectangle_t> areas;
  for (const auto& w : windows) {
    if (!w.top.viewable || !leftOut(w, owners)) continue;
    // The border belongs to the window: it goes too.
    const auto& t = w.top;
    if (auto r = clipTo(t.x, t.y, t.width + 2 * std::int64_t{t.border}, t.height + 2 * std::int64_t{t.border}, monitor))
      areas.push_back(*r);
  }
  return areas;
}

void blendCursor(std::uint8_t* bgrx, std::uint32_t width, std::uint32_t height, std::size_t stride,
                 const std::uint32_t* argb, std::uint32_t cursorWidth, std::uint32_t cursorHeight, std::int32_t x,
                 std::int32_t y) {
  for (std::uint32_t row = 0; row < cursorHeight; ++row) {
    std::int64_t py = std::int64_t{y} + row;
    if (py < 0 || py >= height) continue;
    for (std::uint32_t col = 0; col < cursorWidth; ++col) {
      std::int64_t px = std::int64_t{x} + col;
      if (px < 0 || px >= width) continue;
      std::uint32_t s = argb[std::size_t{row} * cursorWidth + col];
      std::uint32_t alpha = s >> 24;
      if (alpha == 0) continue;
      std::uint8_t* d = bgrx + static_cast<std::size_t>(py) * stride + static_cast<std::size_t>(px) * kBytesPerPixel;
      // The image is premultiplied: colour + (1 - alpha) * background.
      for (int ch = 0; ch < 3; ++ch) {
        std::uint32_t sc = (s >> (8 * ch)) & 0xFF;
        std::uint32_t v = sc + (d[ch] * (255 - alpha) + 127) / 255;
        d[ch] = static_cast<std::uint8_t>(std::min<std::uint32_t>(v, 255));
      }
    }
  }
}

std::unique_ptr<Compositor> Compositor::create(const Connection& c, const Area& monitor, std::string& error) {
  std::unique_ptr<Compositor> compositor(new Compositor(c, monitor));
  if (!compositor->setUp(error)) return nullptr;
  return compositor;
}

bool Compositor::setUp(std::string& error) {
  if (!c_.hasExtension(&xcb_composite_id) || !c_.hasExtension(&xcb_render_id) || !c_.hasExtension(&xcb_xfixes_id)) {
    error = "the X server lacks the Composite, RENDER or XFIXES extension";
    return false;
  }
  if (!agreeVersions(error) || !loadFormats(error)) return false;
  // Automatic redirection may coexist with a compositing manager; it keeps
  // covered parts of windows readable.
  xcb_connection_t* x = c_.get();
  if (auto* e = xcb_request_check(x, xcb_composite_redirect_subwindows_checked(x, c_.root(),
                                                                               XCB_COMPOSITE_REDIRECT_AUTOMATIC))) {
    std::free(e);
    error = "the X server refused to redirect the windows";
    return false;
  }
  createPictures();
  return true;
}

// Versions must be agreed before the extensions may be used.
bool Compositor::agreeVersions(std::string& error) {
  xcb_connection_t* x = c_.get();
  auto cv = xcb_composite_query_version(x, 0, 4);
  auto rv = xcb_render_query_version(x, 0, 11);
  auto xv = xcb_xfixes_query_version(x, 5, 0);
  Reply<xcb_composite_query_version_reply_t> composite(xcb_composite_query_version_reply(x, cv, nullptr));
  Reply<xcb_render_query_version_reply_t> render(xcb_render_query_version_reply(x, rv, nullptr));
  Reply<xcb_xfixes_query_version_reply_t> xfixes(xcb_xfixes_query_version_reply(x, xv, nullptr));
  if (composite && render && xfixes) return true;
  error = "the X server did not answer the version queries";
  return false;
}

bool Compositor::loadFormats(std::string& error) {
  xcb_connection_t* x = c_.get();
  Reply<xcb_render_query_pict_formats_reply_t> formats(
      xcb_render_query_pict_formats_reply(x, xcb_render_query_pict_formats(x), nullptr));
  if (!formats) {
    error = "the X server lists no picture formats";
    return false;
  }
  for (auto s = xcb_render_query_pict_formats_screens_iterator(formats.get()); s.rem; xcb_render_pictscreen_next(&s)) {
    for (auto d = xcb_render_pictscreen_depths_iterator(s.data); d.rem; xcb_render_pictdepth_next(&d)) {
      for (auto v = xcb_render_pictdepth_visuals_iterator(d.data); v.rem; xcb_render_pictvisual_next(&v)) {
        formats_.emplace_back(v.data->visual, v.data->format);
      }
    }
  }
  rootFormat_ = formatOf(c_.screen()->root_visual);
  if (rootFormat_ != 0) return true;
  error = "the root visual has no picture format";
  return false;
}

void Compositor::createPictures() {
  xcb_connection_t* x = c_.get();
  pixmap_ = xcb_generate_id(x);
  xcb_create_pixmap(x, c_.screen()->root_depth, pixmap_, c_.root(), static_cast<std::uint16_t>(monitor_.width),
                    static_cast<std::uint16_t>(monitor_.height));
  picture_ = xcb_generate_id(x);
  xcb_render_create_picture(x, picture_, pixmap_, rootFormat_, 0, nullptr);
  screen_ = xcb_generate_id(x);
  std::uint32_t include = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
  xcb_render_create_picture(x, screen_, c_.root(), rootFormat_, XCB_RENDER_CP_SUBWINDOW_MODE, &include);
  const std::size_t size = std::size_t{monitor_.width} * monitor_.height * kBytesPerPixel;
  shared_ = quorvane::x11::ShmSegment::create(c_, size);
  if (shared_ && !shared_->attached()) shared_.reset();
  if (!shared_) copy_.resize(size);
}

Compositor::~Compositor() {
  xcb_connection_t* x = c_.get();
  shared_.reset();
  if (screen_) xcb_render_free_picture(x, screen_);
  if (picture_) xcb_render_free_picture(x, picture_);
  if (pixmap_) xcb_free_pixmap(x, pixmap_);
  xcb_flush(x);
}

xcb_render_pictformat_t Compositor::formatOf(xcb_visualid_t visual) const {
  for (const auto& [v, f] : formats_) {
    if (v == visual) return f;
  }
  return 0;
}

namespace {

bool sameRects(const std::vector<xcb_rectangle_t>& a, const std::vector<xcb_rectangle_t>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& p, const auto& q) {
    return p.x == q.x && p.y == q.y && p.width == q.width && p.height == q.height;
  });
}

using CursorImage = Reply<xcb_xfixes_get_cursor_image_reply_t>;

// A cursor image we may draw: bounded, and as long as it says.
bool usable(const CursorImage& r) {
  return r && r->width > 0 && r->height > 0 && r->width <= kMaxCursorSide && r->height <= kMaxCursorSide &&
         static_cast<std::size_t>(xcb_xfixes_get_cursor_image_cursor_image_length(r.get())) >=
             std::size_t{r->width} * r->height;
}

}  // namespace

std::optional<PixelView> Compositor::compose(const std::vector<std::int32_t>& excludedPids, bool withCursor,
                                             const std::optional<std::vector<RowSpan>>& damaged) {
  await(monitor_.height);  // the last picture's reads, when nobody waited for them all
  if (c_.broken()) return std::nullopt;
  xcb_connection_t* x = c_.get();
  std::optional<xcb_xfixes_get_cursor_image_cookie_t> cursorAsked;
  if (withCursor) cursorAsked = xcb_xfixes_get_cursor_image(x);
  auto windows = windowsWithOwners(c_);
  auto holes = hiddenAreas(windows, excludedPids, monitor_);
  std::vector<RowSpan> crossed;  // holes are clipped to the monitor: y >= 0
  for (const auto& h : holes) crossed.push_back({std::uint32_t(h.y), std::uint32_t(h.y) + h.height});
  auto runs = rowRuns(std::move(crossed), monitor_.height);
  CursorImage cursor(cursorAsked ? xcb_xfixes_get_cursor_image_reply(x, *cursorAsked, nullptr) : nullptr);
  std::optional<RowSpan> cursorRows;
  if (usable(cursor)) {
    const std::int64_t top = std::int64_t{cursor->y} - cursor->yhot - monitor_.y;
    const std::int64_t bottom = std::min<std::int64_t>(top + cursor->height, monitor_.height);
    if (bottom > 0 && top < monitor_.height)
      cursorRows = RowSpan{static_cast<std::uint32_t>(std::max<std::int64_t>(top, 0)), static_cast<std::uint32_t>(bottom)};
  }
  std::vector<RowSpan> changed;
  if (damaged) {
    changed = *damaged;
    if (lastCursor_) changed.push_back(*lastCursor_);
    if (cursorRows) changed.push_back(*cursorRows);
    changed = mergeRows(std::move(changed));
  }
  // When most rows changed, the encoder takes the whole picture anyway.
  const bool whole = !composed_ || !damaged || !sameRects(holes, lastHoles_) || mostlyChanged(changed, monitor_.height);
  if (!whole) runs = runsWithin(runs, changed);
  if (!holes.empty()) rebuild(windows, excludedPids, holes, runs);
  cursor_ = cursorRows ? std::move(cursor) : nullptr;
  readBack(runs);
  lastHoles_ = std::move(holes);
  lastCursor_ = cursorRows;
  PixelView view{pixels_, monitor_.width, monitor_.height, std::size_t{monitor_.width} * kBytesPerPixel, std::nullopt};
  if (!whole) view.changed = std::move(changed);
  return view;
}

void Compositor::paintBackground() {
  xcb_connection_t* x = c_.get();
  // The wallpaper, when a desktop has published it; plain black otherwise.
  auto root = quorvane::x11::rootPixmap(c_);
  xcb_render_color_t black{0, 0, 0, 0xFFFF};
  xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(monitor_.width), static_cast<std::uint16_t>(monitor_.height)};
  xcb_render_fill_rectangles(x, XCB_RENDER_PICT_OP_SRC, picture_, black, 1, &all);
  if (!root) return;
  xcb_render_picture_t wallpaper = xcb_generate_id(x);
  xcb_render_create_picture(x, wallpaper, *root, rootFormat_, 0, nullptr);
  xcb_render_composite(x, XCB_RENDER_PICT_OP_SRC, wallpaper, XCB_NONE, picture_, static_cast<std::int16_t>(monitor_.x),
                       static_cast<std::int16_t>(monitor_.y), 0, 0, 0, 0, all.width, all.height);
  xcb_render_free_picture(x, wallpaper);
}

void Compositor::rebuild(const std::vector<Window>& windows, const std::vector<std::int32_t>& excludedPids,
                         const std::vector<xcb_rectangle_t>& holes, const std::vector<RowRun>& runs) {
  xcb_connection_t* x = c_.get();
  // Rows the holes cross are read from the picture, so the screen around the holes must be in it too.
  for (const auto& run : runs) {
    if (!run.rebuilt) continue;
    xcb_render_composite(x, XCB_RENDER_PICT_OP_SRC, screen_, XCB_NONE, picture_, static_cast<std::int16_t>(monitor_.x),
                         static_cast<std::int16_t>(monitor_.y + static_cast<std::int32_t>(run.top)), 0, 0, 0,
                         static_cast<std::int16_t>(run.top), static_cast<std::uint16_t>(monitor_.width),
                         static_cast<std::uint16_t>(run.bottom - run.top));
  }
  // Only the holes are painted again; the rest of the screen stays as read.
  xcb_render_set_picture_clip_rectangles(x, picture_, 0, 0, static_cast<std::uint32_t>(holes.size()), holes.data());
  paintBackground();
  std::uint32_t include = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
  const bool tooMany = windows.size() >= quorvane::x11::kMaxWindows;
  for (const auto& window : windows) {
    const auto& w = window.top;
    if (tooMany || !w.viewable || w.inputOnly || leftOut(window, excludedPids) || !overlaps(w, holes, monitor_)) continue;
    auto format = formatOf(w.visual);
    if (format == 0) continue;
    xcb_render_picture_t source = xcb_generate_id(x);
    xcb_render_create_picture(x, source, w.window, format, XCB_RENDER_CP_SUBWINDOW_MODE, &include);
    xcb_render_composite(x, XCB_RENDER_PICT_OP_OVER, source, XCB_NONE, picture_, 0, 0, 0, 0,
                         static_cast<std::int16_t>(w.x + static_cast<std::int32_t>(w.border) - monitor_.x),
                         static_cast<std::int16_t>(w.y + static_cast<std::int32_t>(w.border) - monitor_.y),
                         static_cast<std::uint16_t>(w.width), static_cast<std::uint16_t>(w.height));
    xcb_render_free_picture(x, source);
  }
  std::uint32_t none = XCB_NONE;
  xcb_render_change_picture(x, picture_, XCB_RENDER_CP_CLIP_MASK, &none);
}

// One read per band of each run of rows, each landing at its own place in
// the picture. All are sent at once; the server answers them in order, so the
// first rows can be used while the last are still being copied.
void Compositor::readBack(const std::vector<RowRun>& runs) {
  xcb_connection_t* x = c_.get();
  auto w = static_cast<std::uint16_t>(monitor_.width);
  std::size_t stride = std::size_t{monitor_.width} * kBytesPerPixel;
  std::lock_guard<std::mutex> guard(readLock_);
  bands_.clear();
  received_ = 0;
  readFailed_ = false;
  composed_ = false;  // until the picture is whole again
  for (const auto& run : runs) {
    for (std::uint32_t top = run.top; top < run.bottom;) {
      const std::uint32_t bottom = std::min(run.bottom, (top / kBandRows + 1) * kBandRows);
      // The rebuilt picture is in monitor coordinates, the screen in root ones.
      const Source from = run.rebuilt ? Source{pixmap_, 0, static_cast<std::int16_t>(top)}
                                      : Source{c_.root(), static_cast<std::int16_t>(monitor_.x),
                                               static_cast<std::int16_t>(monitor_.y + static_cast<std::int32_t>(top))};
      const auto h = static_cast<std::uint16_t>(bottom - top);
      const unsigned int sequence =
          shared_ ? xcb_shm_get_image(x, from.drawable, from.x, from.y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                      shared_->id(), static_cast<std::uint32_t>(top * stride)).sequence
                  : xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, from.drawable, from.x, from.y, w, h, ~0u).sequence;
      bands_.push_back({top, bottom, sequence});
      top = bottom;
    }
  }
  xcb_flush(x);
  pixels_ = shared_ ? shared_->data() : copy_.data();
  if (bands_.empty()) composed_ = true;
}

// The connection is waited on here rather than in the library's own wait:
// a thread inside that wait is the only one that reads the connection, and
// on a machine whose cores share no cache, the server's answer queues it on
// the server's own busy core until the server pauses (3 ms at 5K). Outside
// it, a thread polling arrivedYet() on another core takes the answers in as
// they come.
bool Compositor::await(std::uint32_t bottom) {
  std::unique_lock<std::mutex> lock(readLock_);
  for (int recheckMs = kFirstRecheckMs; !takeArrived(bottom); recheckMs = std::min(2 * recheckMs, kLastRecheckMs)) {
    ++sleepers_;
    lock.unlock();
    pollfd ready[] = {{xcb_get_file_descriptor(c_.get()), POLLIN, 0}, taken_.pollFor()};
    if (poll(ready, 2, recheckMs) > 0 && ready[1].revents) taken_.clear();
    lock.lock();
    --sleepers_;
  }
  return !readFailed_;
}

bool Compositor::arrivedYet(std::uint32_t bottom) {
  // A thread holding the lock is taking the answers in already.
  std::unique_lock<std::mutex> lock(readLock_, std::try_to_lock);
  return lock.owns_lock() && takeArrived(bottom);
}

void Compositor::nudge() {
  std::lock_guard<std::mutex> guard(readLock_);
  if (sleepers_ > 0) taken_.wake();
}

// The answers come in order; whether every band above `bottom` is taken in.
bool Compositor::takeArrived(std::uint32_t bottom) {
  const std::size_t before = received_;
  bool all = true;
  while (received_ < bands_.size() && bands_[received_].top < bottom) {
    const auto taken = take(received_);
    if (!taken) {
      all = false;
      break;
    }
    if (!*taken) readFailed_ = true;
    if (++received_ == bands_.size() && !readFailed_) composed_ = true;
  }
  if (received_ != before && sleepers_ > 0) taken_.wake();
  return all;
}

// The answer to one band's read, the cursor drawn on its rows: nullopt while
// it has not come, false when it failed (or the connection did).
std::optional<bool> Compositor::take(std::size_t band) {
  xcb_connection_t* x = c_.get();
  const Band& b = bands_[band];
  void* answer = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (!xcb_poll_for_reply(x, b.sequence, &answer, &error)) return std::nullopt;
  std::free(error);
  if (!answer) return false;
  const std::size_t stride = std::size_t{monitor_.width} * kBytesPerPixel;
  const std::size_t size = (b.bottom - b.top) * stride;
  if (shared_) {
    Reply<xcb_shm_get_image_reply_t> r(static_cast<xcb_shm_get_image_reply_t*>(answer));
    if (r->size < size) return false;
  } else {
    Reply<xcb_get_image_reply_t> r(static_cast<xcb_get_image_reply_t*>(answer));
    if (static_cast<std::size_t>(xcb_get_image_data_length(r.get())) < size) return false;
    std::memcpy(copy_.data() + b.top * stride, xcb_get_image_data(r.get()), size);
  }
  if (cursor_) {
    blendCursor(pixels_ + b.top * stride, monitor_.width, b.bottom - b.top, stride,
                xcb_xfixes_get_cursor_image_cursor_image(cursor_.get()), cursor_->width, cursor_->height,
                cursor_->x - cursor_->xhot - monitor_.x,
                cursor_->y - cursor_->yhot - monitor_.y - static_cast<std::int32_t>(b.top));
  }
  return true;
}

}  // namespace quorvane::recording::x11
