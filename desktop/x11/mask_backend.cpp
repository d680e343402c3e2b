#include "desktop/x11/mask_backend.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <system_error>
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

bool lastCoverExposed(std::vector<xcb_window_t>& unexposed, const xcb_generic_event_t& event) {
  // The top bit of response_type is send_event: a sent Expose is no XCB_EXPOSE here.
  if (event.response_type != XCB_EXPOSE || unexposed.empty()) return false;
  std::erase(unexposed, reinterpret_cast<const xcb_expose_event_t&>(event).window);
  return unexposed.empty();
}

MaskBackend::MaskBackend() = default;
MaskBackend::~MaskBackend() {
  // Drawings still running when a later screen failed.
  for (Cover& cover : covers_) {
    if (cover.drawing.joinable()) cover.drawing.join();
  }
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
  hasRandr_ = conn_->hasExtension(&xcb_randr_id);
  if (hasRandr_) {
    randrEventBase_ = xcb_get_extension_data(c, &xcb_randr_id)->first_event;
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

void MaskBackend::becomeAccessory() { connect(); }

std::vector<Screen> MaskBackend::screens() {
  if (!connect()) return {};
  screens_ = readScreens();
  return screens_;
}

WallpaperSource MaskBackend::wallpaper(const Screen& screen) {
  const auto& bg = background_.get();
  if (bg && bg->userChosen) {
    if (bg->pictureOptions == "none" || bg->uri.empty()) return NoWallpaper{};
    return WallpaperUrl{bg->uri};
  }
  // Without a GNOME choice, what a wallpaper setter put on the root is what shows.
  if (auto root = qx::rootPixmap(*conn_)) return PlacedImage{std::make_unique<RootPixmapImage>(*conn_, *root, screen)};
  if (bg && !bg->uri.empty() && bg->pictureOptions != "none") return WallpaperUrl{bg->uri};
  return NoWallpaper{};
}

std::unique_ptr<WallpaperImage> MaskBackend::openImage(const std::string& url) { return files_.open(url); }

std::optional<PlacementOptions> MaskBackend::placementOptions(const Screen&) {
  const auto& bg = background_.get();
  if (bg && bg->userChosen) return gsettings::placementFor(bg->pictureOptions, bg->primaryColor);
  if (qx::rootPixmap(*conn_)) {
    return PlacementOptions{static_cast<double>(kNaturalSize), {}, {}};  // already placed by its setter
  }
  if (bg) return gsettings::placementFor(bg->pictureOptions, bg->primaryColor);
  return std::nullopt;
}

void MaskBackend::readPixmapFormats() {
  xcb_connection_t* c = conn_->get();
  visual_ = rootVisual(conn_->screen());
  nativeXrgb_ = takesNativeXrgb(xcb_get_setup(c), conn_->screen(), visual_) && qx::canShareMemory(*conn_);
  if (!nativeXrgb_) return;
  qx::Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
  sharedPixmaps_ = version && version->shared_pixmaps && version->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
}

void MaskBackend::startDrawing(Cover& cover, const CoverPlan& plan) {
  CoverCanvas* canvas = cover.canvas.get();
  if (!canvas->pixels()) return;  // no memory: the pixmap stays as the server made it
  auto draw = [plan, rect = canvasRect(cover.picture), canvas] {
    drawCover(plan, rect, canvas->pixels(), canvas->stride());
  };
  // Each screen is drawn on a core of its own while the next screen's
  // wallpaper is read; showCovers waits for them all.
  try {
    posix::TerminationBlocked inTheDrawingThread;
    cover.drawing = std::thread(draw);
  } catch (const std::system_error&) {
    draw();
  }
}

std::size_t MaskBackend::coverDrawing(const CoverPicture& picture) const {
  for (std::size_t i = 0; i < covers_.size(); ++i) {
    if (covers_[i].drawnBy == i && covers_[i].picture == picture) return i;
  }
  return covers_.size();
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

void MaskBackend::prepareCover(const CoverPlan& plan, std::int32_t) {
  // The level is the "below" layer, which only the window manager can give:
  // setCoverProperties asks for it with _NET_WM_STATE_BELOW.
  xcb_connection_t* c = conn_->get();
  xcb_screen_t* screen = conn_->screen();
  if (covers_.empty()) readPixmapFormats();
  CoverRect rect = coverRect(plan.frame, screen->width_in_pixels, screen->height_in_pixels);
  Cover cover;
  cover.picture = coverPicture(plan, rect);
  cover.image = plan.image;
  cover.drawnBy = coverDrawing(cover.picture);
  if (cover.drawnBy == covers_.size()) {
    CoverRect canvas = canvasRect(cover.picture);
    cover.canvas = std::make_unique<CoverCanvas>(*conn_, canvas.width, canvas.height, nativeXrgb_);
    startDrawing(cover, plan);
  }

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
  covers_.push_back(std::move(cover));
  xcb_flush(c);  // the server attaches the shared memory and sets up while we draw
}

void MaskBackend::showCovers() {
  xcb_connection_t* c = conn_->get();
  for (Cover& cover : covers_) {
    if (cover.canvas) {
      if (cover.drawing.joinable()) cover.drawing.join();
      cover.pixmap = cover.canvas->toPixmap(conn_->screen(), visual_, sharedPixmaps_);
      cover.canvas.reset();
    } else {
      cover.pixmap = covers_[cover.drawnBy].pixmap;  // an earlier cover, so already made
    }
    cover.image.reset();
    xcb_change_window_attributes(c, cover.window, XCB_CW_BACK_PIXMAP, &cover.pixmap);
  }
  // The decoded pictures are in the server now.
  files_.clear();
  for (const Cover& cover : covers_) xcb_map_window(c, cover.window);
  xcb_flush(c);
}

MaskBackend::Change MaskBackend::handleEvent(xcb_generic_event_t* event, bool& allShown) {
  std::uint8_t type = event->response_type & 0x7F;
  if (type == XCB_EXPOSE) {
    if (lastCoverExposed(unexposed_, *event)) allShown = true;
    return Change::kNone;
  }
  if (type == XCB_PROPERTY_NOTIFY) {
    auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
    // A rewrite of the same workspace is no change of workspace.
    if (hasEwmh_ && e->window == conn_->root() && e->atom == ewmh_._NET_CURRENT_DESKTOP &&
        currentDesktop() != desktop_) {
      return Change::kSpace;
    }
    return Change::kNone;
  }
  bool screenEvent = (type == XCB_CONFIGURE_NOTIFY &&
                      reinterpret_cast<xcb_configure_notify_event_t*>(event)->window == conn_->root()) ||
                     (hasRandr_ && (type == randrEventBase_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                    type == randrEventBase_ + XCB_RANDR_NOTIFY));
  if (screenEvent && readScreens() != screens_) return Change::kScreens;
  return Change::kNone;
}

MaskBackend::Events MaskBackend::readEvents(xcb_generic_event_t* queued) {
  xcb_connection_t* c = conn_->get();
  Events events;
  // Every pending event is read; the first change decides the end.
  for (xcb_generic_event_t* e = queued ? queued : xcb_poll_for_event(c); e; e = xcb_poll_for_event(c)) {
    Change change = handleEvent(e, events.allShown);
    if (events.change == Change::kNone) events.change = change;
    free(e);
  }
  // A lost display takes the covers with it: the desktop is back, the picture must be retaken.
  if (conn_->broken()) events.change = Change::kScreens;
  return events;
}

Exit MaskBackend::run(DesktopMask& mask, Clock& clock) {
  int signalFd = posix::takeTerminationSignal();
  xcb_connection_t* c = conn_->get();
  bool stdinOpen = true;
  for (;;) {
    // Events may already sit in xcb's queue; wait only when none do.
    xcb_generic_event_t* queued = xcb_poll_for_queued_event(c);
    pollfd fds[3] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                     {xcb_get_file_descriptor(c), POLLIN, 0}};
    if (poll(fds, 3, queued ? 0 : posix::timeoutMs(mask, clock)) < 0 && errno != EINTR) return Exit{1, {}};

    if (fds[0].revents & POLLIN) {
      if (Outcome end = posix::onTerminationSignal(mask, signalFd)) return *end;
    }
    if (Outcome end = posix::onControlInput(mask, fds[1].revents, stdinOpen)) return *end;
    Events events = readEvents(queued);
    if (events.change == Change::kScreens) return *mask.onScreensChanged();
    if (events.change == Change::kSpace) return *mask.onSpaceChanged();
    if (events.allShown && !coversShownReported_) {
      coversShownReported_ = true;
      if (Outcome end = mask.onCoversShown()) return *end;
    }
    if (Outcome end = mask.onTimers()) return *end;
  }
}

}  // namespace quorvane::desktop::x11
