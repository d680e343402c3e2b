#include "desktop/x11/mask_backend.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include <xcb/randr.h>
#include <xcb/xcb_icccm.h>

#include "common/x11/shm.h"
#include "common/x11/windows.h"
#include "desktop/images/image_file.h"

namespace quorvane::desktop::x11 {

namespace qx = quorvane::x11;

namespace {

constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// The root pixmap a wallpaper setter leaves (feh, nitrogen, xsetroot -bitmap...).
class RootPixmapImage final : public WallpaperImage {
 public:
  RootPixmapImage(const qx::Connection& c, xcb_pixmap_t pixmap, const Screen& s) : c_(c), pixmap_(pixmap), s_(s) {}
  std::uint32_t width() const override { return s_.width; }
  std::uint32_t height() const override { return s_.height; }
  std::shared_ptr<const Bitmap> decode(std::uint32_t, std::uint32_t) override {
    qx::Reply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(c_.get(), xcb_get_geometry(c_.get(), pixmap_), nullptr));
    if (!geo) return nullptr;
    // The part of the screen the pixmap holds; anything beyond stays transparent.
    std::int32_t x0 = std::max(s_.x, 0), y0 = std::max(s_.y, 0);
    std::int32_t x1 = std::min<std::int64_t>(s_.x + std::int64_t{s_.width}, geo->width);
    std::int32_t y1 = std::min<std::int64_t>(s_.y + std::int64_t{s_.height}, geo->height);
    if (x1 <= x0 || y1 <= y0) return nullptr;
    qx::Reply<xcb_get_image_reply_t> img(xcb_get_image_reply(
        c_.get(),
        xcb_get_image(c_.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap_, static_cast<std::int16_t>(x0),
                      static_cast<std::int16_t>(y0), static_cast<std::uint16_t>(x1 - x0),
                      static_cast<std::uint16_t>(y1 - y0), ~0u),
        nullptr));
    std::size_t w = static_cast<std::size_t>(x1 - x0), h = static_cast<std::size_t>(y1 - y0);
    // Only the 32-bit-per-pixel layouts of depth 24 and 32 are read.
    if (!img || (img->depth != 24 && img->depth != 32) ||
        static_cast<std::size_t>(xcb_get_image_data_length(img.get())) < w * h * 4) {
      return nullptr;
    }
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = s_.width;
    bitmap->height = s_.height;
    std::size_t count = std::size_t{s_.width} * s_.height;
    bitmap->pixels.reset(new (std::nothrow) std::uint32_t[count]());
    if (!bitmap->pixels) return nullptr;
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(img.get()));
    std::size_t offX = static_cast<std::size_t>(x0 - s_.x), offY = static_cast<std::size_t>(y0 - s_.y);
    for (std::size_t y = 0; y < h; ++y) {
      for (std::size_t x = 0; x < w; ++x) {
        bitmap->pixels[(offY + y) * s_.width + offX + x] = data[y * w + x] | 0xFF000000u;
      }
    }
    return bitmap;
  }

 private:
  const qx::Connection& c_;
  xcb_pixmap_t pixmap_;
  Screen s_;
};

xcb_visualtype_t* rootVisual(xcb_screen_t* screen) {
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) return v.data;
    }
  }
  return nullptr;
}

}  // namespace

void takeExposed(std::vector<xcb_window_t>& unexposed, const xcb_generic_event_t& event) {
  // The top bit of response_type is send_event: a sent Expose is no XCB_EXPOSE here.
  if (event.response_type != XCB_EXPOSE) return;
  std::erase(unexposed, reinterpret_cast<const xcb_expose_event_t&>(event).window);
}

MaskBackend::~MaskBackend() {
  drawings_.finish();  // drawings still running when a later screen failed
  if (hasEwmh_) xcb_ewmh_connection_wipe(&ewmh_);
}

bool MaskBackend::connect() {
  if (triedConnect_) return conn_ != nullptr;
  triedConnect_ = true;
  conn_ = qx::Connection::open();
  if (!conn_) return false;
  xcb_connection_t* c = conn_->get();
  // Listen before reading the monitors and the workspace, so that a change in
  // between is still seen once the loop runs.
  std::uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c, conn_->root(), XCB_CW_EVENT_MASK, &rootEvents);
  // Read once: xcb hands out null for a connection broken in between.
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
  hasRandr_ = randr && randr->present;
  if (hasRandr_) {
    randrEventBase_ = randr->first_event;
    xcb_randr_select_input(c, conn_->root(),
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE | XCB_RANDR_NOTIFY_MASK_RESOURCE_CHANGE);
  }
  xcb_intern_atom_cookie_t* atoms = xcb_ewmh_init_atoms(c, &ewmh_);
  hasEwmh_ = xcb_ewmh_init_atoms_replies(&ewmh_, atoms, nullptr) != 0;
  desktop_ = currentDesktop();
  return true;
}

std::optional<std::uint32_t> MaskBackend::currentDesktop() {
  // Our screen's root, which need not be screen 0 that xcb_ewmh_get_current_desktop reads.
  if (!hasEwmh_) return std::nullopt;
  std::uint32_t desktop = 0;
  xcb_get_property_cookie_t cookie = xcb_get_property(conn_->get(), 0, conn_->root(), ewmh_._NET_CURRENT_DESKTOP,
                                                      XCB_ATOM_CARDINAL, 0, 1);
  if (!xcb_ewmh_get_cardinal_reply(&ewmh_, cookie, &desktop, nullptr)) return std::nullopt;
  return desktop;
}

std::vector<Screen> MaskBackend::readScreens() {
  std::vector<Screen> result;
  if (hasRandr_) {
    for (const qx::Monitor& m : qx::monitors(*conn_)) result.push_back({m.x, m.y, m.width, m.height});
  } else {
    // Without RandR the whole root is the one screen.
    result.push_back({0, 0, conn_->screen()->width_in_pixels, conn_->screen()->height_in_pixels});
  }
  return result;
}

std::vector<Screen> MaskBackend::screens() {
  if (!connect()) return {};
  screens_ = readScreens();
  return screens_;
}

std::optional<WallpaperChoice> MaskBackend::systemWallpaper(const Screen& screen) {
  // What a wallpaper setter put on the root, already placed by its setter.
  auto root = conn_ ? qx::rootPixmap(*conn_) : std::nullopt;
  if (!root) return std::nullopt;
  return WallpaperChoice{PlacedImage{std::make_unique<RootPixmapImage>(*conn_, *root, screen)},
                         PlacementOptions{static_cast<double>(kNaturalSize), {}, {}}};
}

void MaskBackend::readPixmapFormats() {
  xcb_connection_t* c = conn_->get();
  visual_ = rootVisual(conn_->screen());
  nativeXrgb_ = takesNativeXrgb(xcb_get_setup(c), conn_->screen(), visual_) && qx::canShareMemory(*conn_);
  if (!nativeXrgb_) return;
  qx::Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
  sharedPixmaps_ = version && version->shared_pixmaps && version->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
}

void MaskBackend::setCoverProperties(xcb_window_t w, const CoverRect& frame) {
  xcb_connection_t* c = conn_->get();
  if (hasEwmh_) {
    xcb_atom_t type = ewmh_._NET_WM_WINDOW_TYPE_NORMAL;
    xcb_ewmh_set_wm_window_type(&ewmh_, w, 1, &type);
    xcb_atom_t state[] = {ewmh_._NET_WM_STATE_BELOW, ewmh_._NET_WM_STATE_STICKY, ewmh_._NET_WM_STATE_SKIP_TASKBAR,
                          ewmh_._NET_WM_STATE_SKIP_PAGER};
    xcb_ewmh_set_wm_state(&ewmh_, w, 4, state);
    xcb_ewmh_set_wm_desktop(&ewmh_, w, kAllDesktops);
    xcb_ewmh_set_wm_pid(&ewmh_, w, static_cast<std::uint32_t>(getpid()));
    // A user time of 0 asks the window manager not to focus the window when it maps.
    xcb_ewmh_set_wm_user_time(&ewmh_, w, 0);
  }
  // Motif hints (no library packs them): decorations flag set, no decorations.
  xcb_atom_t motif = conn_->atom("_MOTIF_WM_HINTS");
  const std::uint32_t noDecorations[] = {2, 0, 0, 0, 0};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, motif, motif, 32, 5, noDecorations);
  const char title[] = "quorvane-desktop";
  if (hasEwmh_) xcb_ewmh_set_wm_name(&ewmh_, w, sizeof title - 1, title);
  xcb_icccm_set_wm_name(c, w, XCB_ATOM_STRING, 8, sizeof title - 1, title);
  const char wmClass[] = "quorvane-desktop\0QuorvaneDesktop";
  xcb_icccm_set_wm_class(c, w, sizeof wmClass, wmClass);

  xcb_icccm_wm_hints_t hints{};
  xcb_icccm_wm_hints_set_input(&hints, 0);  // never takes keyboard focus
  xcb_icccm_wm_hints_set_normal(&hints);
  xcb_icccm_set_wm_hints(c, w, &hints);
  // The exact frame, which the window manager should neither move nor resize.
  xcb_size_hints_t size{};
  xcb_icccm_size_hints_set_position(&size, 1, frame.x, frame.y);
  xcb_icccm_size_hints_set_size(&size, 1, static_cast<std::int32_t>(frame.width), static_cast<std::int32_t>(frame.height));
  xcb_icccm_size_hints_set_min_size(&size, static_cast<std::int32_t>(frame.width), static_cast<std::int32_t>(frame.height));
  xcb_icccm_size_hints_set_max_size(&size, static_cast<std::int32_t>(frame.width), static_cast<std::int32_t>(frame.height));
  xcb_icccm_set_wm_normal_hints(c, w, &size);
}

void MaskBackend::prepareCover(const CoverPlan& plan) {
  // setCoverProperties asks for the "below" layer with _NET_WM_STATE_BELOW.
  xcb_connection_t* c = conn_->get();
  xcb_screen_t* screen = conn_->screen();
  if (covers_.empty()) readPixmapFormats();
  CoverRect rect = coverRect(plan.frame, screen->width_in_pixels, screen->height_in_pixels);
  Cover cover;
  CoverPicture picture = coverPicture(plan, rect);
  CoverRect canvas = canvasRect(picture);
  cover.drawing = drawings_.draw(plan, picture, canvas, [&] {
    canvases_.push_back(std::make_unique<CoverCanvas>(*conn_, canvas.width, canvas.height, nativeXrgb_));
    return CoverDrawings::Canvas{canvases_.back()->pixels(), canvases_.back()->stride()};
  });

  // Its background pixmap is set once the picture is drawn.
  cover.window = xcb_generate_id(c);
  std::uint32_t mask = XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
  std::uint32_t values[] = {0, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(c, screen->root_depth, cover.window, conn_->root(), static_cast<std::int16_t>(rect.x),
                    static_cast<std::int16_t>(rect.y), static_cast<std::uint16_t>(rect.width),
                    static_cast<std::uint16_t>(rect.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    mask, values);
  setCoverProperties(cover.window, rect);
  unexposed_.push_back(cover.window);
  covers_.push_back(cover);
  xcb_flush(c);  // the server attaches the shared memory and sets up while we draw
}

void MaskBackend::showCovers() {
  xcb_connection_t* c = conn_->get();
  drawings_.finish();
  std::vector<xcb_pixmap_t> pixmaps;
  for (auto& canvas : canvases_) pixmaps.push_back(canvas->toPixmap(conn_->screen(), visual_, sharedPixmaps_));
  canvases_.clear();
  for (Cover& cover : covers_) xcb_change_window_attributes(c, cover.window, XCB_CW_BACK_PIXMAP, &pixmaps[cover.drawing]);
  releaseFiles();
  for (const Cover& cover : covers_) xcb_map_window(c, cover.window);
  xcb_flush(c);
}

posix::ScreenChange MaskBackend::handleEvent(xcb_generic_event_t* event) {
  std::uint8_t type = event->response_type & 0x7F;
  if (type == XCB_EXPOSE) {
    takeExposed(unexposed_, *event);
    return posix::ScreenChange::kNone;
  }
  if (type == XCB_PROPERTY_NOTIFY) {
    auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
    // A rewrite of the same workspace is no change of workspace.
    if (hasEwmh_ && e->window == conn_->root() && e->atom == ewmh_._NET_CURRENT_DESKTOP &&
        currentDesktop() != desktop_) {
      return posix::ScreenChange::kSpace;
    }
    return posix::ScreenChange::kNone;
  }
  bool screenEvent = (type == XCB_CONFIGURE_NOTIFY &&
                      reinterpret_cast<xcb_configure_notify_event_t*>(event)->window == conn_->root()) ||
                     (hasRandr_ && (type == randrEventBase_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                    type == randrEventBase_ + XCB_RANDR_NOTIFY));
  if (screenEvent && readScreens() != screens_) return posix::ScreenChange::kScreens;
  return posix::ScreenChange::kNone;
}

posix::WindowNews MaskBackend::waitForWindows(std::span<pollfd> others, int timeoutMs) {
  xcb_connection_t* c = conn_->get();
  // Events may already sit in xcb's queue; wait only when none do.
  xcb_generic_event_t* queued = xcb_poll_for_queued_event(c);
  std::vector<pollfd> fds{{xcb_get_file_descriptor(c), POLLIN, 0}};
  fds.insert(fds.end(), others.begin(), others.end());
  int ready = poll(fds.data(), fds.size(), queued ? 0 : timeoutMs);
  bool failed = ready < 0 && errno != EINTR;
  for (std::size_t i = 0; i < others.size(); ++i) others[i].revents = ready > 0 ? fds[i + 1].revents : 0;
  posix::WindowNews news;
  // Every pending event is read; the first change decides the end.
  for (xcb_generic_event_t* e = queued ? queued : xcb_poll_for_event(c); e; e = xcb_poll_for_event(c)) {
    posix::ScreenChange change = handleEvent(e);
    if (news.change == posix::ScreenChange::kNone) news.change = change;
    free(e);
  }
  // A lost display (or a wait that failed) takes the covers with it: the picture must be retaken.
  if (conn_->broken() || failed) news.change = posix::ScreenChange::kScreens;
  news.coversShown = unexposed_.empty();
  return news;
}

}  // namespace quorvane::desktop::x11
