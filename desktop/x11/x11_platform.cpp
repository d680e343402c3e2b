#include "desktop/x11/x11_platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <glib.h>
#include <xcb/randr.h>
#include <xcb/xcb_icccm.h>

#include "desktop/image_file.h"

namespace quorvane::desktop::x11 {

namespace qx = quorvane::x11;

namespace {

constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::size_t kChunkBuffer = 4096;  // one read is one chunk; more than 100 bytes is refused anyway

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
    bitmap->pixels.assign(std::size_t{s_.width} * s_.height, 0);
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

// Hands out a shared image as if it were the caller's own.
class SharedImage final : public WallpaperImage {
 public:
  explicit SharedImage(std::shared_ptr<WallpaperImage> image) : image_(std::move(image)) {}
  std::uint32_t width() const override { return image_->width(); }
  std::uint32_t height() const override { return image_->height(); }
  std::shared_ptr<const Bitmap> decode(std::uint32_t w, std::uint32_t h) override { return image_->decode(w, h); }

 private:
  std::shared_ptr<WallpaperImage> image_;
};

// Shared memory means something only to a server on this machine; over TCP
// the segment id could name another segment on the server's host.
bool onThisMachine(xcb_connection_t* c) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  return getsockname(xcb_get_file_descriptor(c), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
         address.ss_family == AF_UNIX;
}

xcb_visualtype_t* rootVisual(xcb_screen_t* screen) {
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) return v.data;
    }
  }
  return nullptr;
}

}  // namespace

X11Platform::X11Platform() = default;
X11Platform::~X11Platform() {
  // Drawings still running when a later screen failed.
  for (Cover& cover : covers_) {
    if (cover.drawing.joinable()) cover.drawing.join();
  }
}

bool X11Platform::connect() {
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
  currentDesktopAtom_ = conn_->atom("_NET_CURRENT_DESKTOP");
  desktop_ = currentDesktop();
  return true;
}

std::optional<std::uint32_t> X11Platform::currentDesktop() {
  return qx::cardinal(*conn_, conn_->root(), currentDesktopAtom_, XCB_ATOM_CARDINAL);
}

std::vector<Screen> X11Platform::readScreens() {
  std::vector<Screen> result;
  if (hasRandr_) {
    for (const qx::Monitor& m : qx::monitors(*conn_)) result.push_back({m.x, m.y, m.width, m.height});
  } else {
    // Without RandR the whole root is the one screen.
    result.push_back({0, 0, conn_->screen()->width_in_pixels, conn_->screen()->height_in_pixels});
  }
  return result;
}

void X11Platform::becomeAccessory() { connect(); }

std::vector<Screen> X11Platform::screens() {
  if (!connect()) return {};
  screens_ = readScreens();
  return screens_;
}

const std::optional<DesktopBackground>& X11Platform::background() {
  if (!backgroundRead_) {
    backgroundRead_ = true;
    background_ = readDesktopBackground();
  }
  return background_;
}

WallpaperSource X11Platform::wallpaper(const Screen& screen) {
  const auto& bg = background();
  if (bg && bg->userChosen) {
    if (bg->pictureOptions == "none" || bg->uri.empty()) return NoWallpaper{};
    return WallpaperUrl{bg->uri};
  }
  // Without a GNOME choice, what a wallpaper setter put on the root is what shows.
  if (auto root = qx::cardinal(*conn_, conn_->root(), conn_->atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP);
      root && *root != XCB_NONE) {
    return PlacedImage{std::make_unique<RootPixmapImage>(*conn_, *root, screen)};
  }
  if (bg && !bg->uri.empty() && bg->pictureOptions != "none") return WallpaperUrl{bg->uri};
  return NoWallpaper{};
}

std::unique_ptr<WallpaperImage> X11Platform::openImage(const std::string& url) {
  for (const auto& [name, image] : opened_) {
    if (name == url) return std::make_unique<SharedImage>(image);
  }
  gchar* path = g_filename_from_uri(url.c_str(), nullptr, nullptr);
  if (!path) return nullptr;
  std::shared_ptr<WallpaperImage> image = openImageFile(path);
  g_free(path);
  if (!image) return nullptr;
  opened_.emplace_back(url, image);
  return std::make_unique<SharedImage>(image);
}

std::optional<PlacementOptions> X11Platform::placementOptions(const Screen&) {
  const auto& bg = background();
  if (bg && bg->userChosen) return placementFor(bg->pictureOptions, bg->primaryColor);
  if (qx::cardinal(*conn_, conn_->root(), conn_->atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP)) {
    return PlacementOptions{static_cast<double>(kNaturalSize), {}, {}};  // already placed by its setter
  }
  if (bg) return placementFor(bg->pictureOptions, bg->primaryColor);
  return std::nullopt;
}

void X11Platform::readPixmapFormats() {
  xcb_connection_t* c = conn_->get();
  visual_ = rootVisual(conn_->screen());
  nativeXrgb_ = takesNativeXrgb(xcb_get_setup(c), conn_->screen(), visual_) && onThisMachine(c) &&
                conn_->hasExtension(&xcb_shm_id);
  if (!nativeXrgb_) return;
  qx::Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
  sharedPixmaps_ = version && version->shared_pixmaps && version->pixmap_format == XCB_IMAGE_FORMAT_Z_PIXMAP;
}

void X11Platform::startDrawing(Cover& cover, const CoverPlan& plan) {
  CoverCanvas* canvas = cover.canvas.get();
  if (!canvas->pixels()) return;  // no memory: the pixmap stays as the server made it
  auto draw = [plan, rect = canvasRect(cover.picture), canvas] {
    drawCover(plan, rect, canvas->pixels(), canvas->stride());
  };
  // Each screen is drawn on a core of its own while the next screen's
  // wallpaper is read; showCovers waits for them all.
  try {
    cover.drawing = std::thread(draw);
  } catch (const std::system_error&) {
    draw();
  }
}

std::size_t X11Platform::coverDrawing(const CoverPicture& picture) const {
  for (std::size_t i = 0; i < covers_.size(); ++i) {
    if (covers_[i].drawnBy == i && covers_[i].picture == picture) return i;
  }
  return covers_.size();
}

void X11Platform::setCoverProperties(xcb_window_t w, const CoverRect& frame) {
  xcb_connection_t* c = conn_->get();
  auto a = conn_->atoms({"_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_STATE",
                         "_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
                         "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_DESKTOP", "_MOTIF_WM_HINTS", "_NET_WM_PID",
                         "_NET_WM_USER_TIME", "_NET_WM_NAME", "UTF8_STRING"});
  auto set32 = [&](xcb_atom_t prop, xcb_atom_t type, const std::vector<std::uint32_t>& v) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, prop, type, 32, static_cast<std::uint32_t>(v.size()), v.data());
  };
  set32(a[0], XCB_ATOM_ATOM, {a[1]});
  set32(a[2], XCB_ATOM_ATOM, {a[3], a[4], a[5], a[6]});
  set32(a[7], XCB_ATOM_CARDINAL, {kAllDesktops});
  // Motif hints: decorations flag set, no decorations.
  set32(a[8], a[8], {2, 0, 0, 0, 0});
  set32(a[9], XCB_ATOM_CARDINAL, {static_cast<std::uint32_t>(getpid())});
  // A user time of 0 asks the window manager not to focus the window when it maps.
  set32(a[10], XCB_ATOM_CARDINAL, {0});
  const char title[] = "quorvane-desktop";
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, a[11], a[12], 8, sizeof title - 1, title);
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

void X11Platform::prepareCover(const CoverPlan& plan, std::int32_t) {
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
    cover.canvas = std::make_unique<CoverCanvas>(c, canvas.width, canvas.height, nativeXrgb_);
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
  covers_.push_back(std::move(cover));
  xcb_flush(c);  // the server attaches the shared memory and sets up while we draw
}

void X11Platform::showCovers() {
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
  opened_.clear();
  for (const Cover& cover : covers_) xcb_map_window(c, cover.window);
  xcb_flush(c);
}

std::int32_t X11Platform::parentPid() { return static_cast<std::int32_t>(getppid()); }

bool X11Platform::processExists(std::int32_t pid) {
  // EPERM means the process is there but not ours to signal: it has not gone.
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

X11Platform::Change X11Platform::handleEvent(xcb_generic_event_t* event, bool& allShown) {
  std::uint8_t type = event->response_type & 0x7F;
  if (type == XCB_EXPOSE) {
    auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
    for (Cover& cover : covers_) {
      if (cover.window == e->window) cover.exposed = true;
    }
    allShown = std::all_of(covers_.begin(), covers_.end(), [](const Cover& c) { return c.exposed; });
    return Change::kNone;
  }
  if (type == XCB_PROPERTY_NOTIFY) {
    auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
    // A rewrite of the same workspace is no change of workspace.
    if (e->window == conn_->root() && e->atom == currentDesktopAtom_ && currentDesktop() != desktop_) {
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

int X11Platform::run(DesktopMask& mask, Clock& clock) {
  // SIGTERM keeps its default action until now; from here it ends the mask
  // through the loop, with status 0.
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, nullptr);
  int sigfd = signalfd(-1, &term, SFD_CLOEXEC | SFD_NONBLOCK);

  xcb_connection_t* c = conn_->get();
  bool stdinOpen = true;
  bool shownReported = false;
  for (;;) {
    int timeout = -1;
    if (auto next = mask.nextWakeup()) {
      timeout = static_cast<int>(std::ceil(std::max(0.0, *next - clock.now()) * 1000.0));
    }
    pollfd fds[3] = {{sigfd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    // Events may already sit in xcb's queue; poll only when none do.
    xcb_generic_event_t* queued = xcb_poll_for_queued_event(c);
    if (queued) timeout = 0;
    if (poll(fds, 3, timeout) < 0 && errno != EINTR) return 1;

    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(sigfd, &info, sizeof info) > 0) {
        if (Verdict v = mask.onTerminate(); v.end) return v.status;
      }
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
      char buf[kChunkBuffer];
      ssize_t n = (fds[1].revents & POLLNVAL) ? 0 : read(0, buf, sizeof buf);
      if (n >= 0 || (errno != EINTR && errno != EAGAIN)) {
        // A read error is the end of input as far as the application's pipe goes.
        Verdict v = mask.onControlChunk(std::string_view(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
        stdinOpen = false;
        if (v.end) return v.status;
      }
    }
    bool allShown = false;
    Change change = Change::kNone;
    for (xcb_generic_event_t* e = queued ? queued : xcb_poll_for_event(c); e; e = xcb_poll_for_event(c)) {
      Change ch = handleEvent(e, allShown);
      if (change == Change::kNone) change = ch;
      free(e);
    }
    // A lost display takes the covers with it: the desktop is back, the picture must be retaken.
    if (conn_->broken()) change = Change::kScreens;
    if (change == Change::kScreens) return mask.onScreensChanged().status;
    if (change == Change::kSpace) return mask.onSpaceChanged().status;
    if (allShown && !shownReported) {
      shownReported = true;
      if (Verdict v = mask.onCoversShown(); v.end) return v.status;
    }
    if (Verdict v = mask.onTimers(); v.end) return v.status;
  }
}

}  // namespace quorvane::desktop::x11
