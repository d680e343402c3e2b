#include "desktop/wayland/mask_backend.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

#include <glib.h>

#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "desktop/images/image_file.h"

namespace quorvane::desktop::wayland {

namespace {

constexpr std::uint32_t kAllAnchors = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
constexpr char kNamespace[] = "quorvane-desktop";
constexpr std::uint32_t kBufferScaleSince = 3;
constexpr int kConfigureRoundTrips = 3;

// A solid colour as a picture: one pixel, stretched over the screen.
class SolidImage final : public WallpaperImage {
 public:
  explicit SolidImage(std::uint32_t xrgb) : xrgb_(xrgb) {}
  std::uint32_t width() const override { return 1; }
  std::uint32_t height() const override { return 1; }
  std::shared_ptr<const Bitmap> decode(std::uint32_t, std::uint32_t) override {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = bitmap->height = 1;
    bitmap->opaque = true;
    bitmap->pixels.reset(new std::uint32_t[1]{0xFF000000u | xrgb_});
    return bitmap;
  }

 private:
  std::uint32_t xrgb_;
};

std::uint32_t xrgbOf(const Color& c) {
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  return channel(c.red) << 16 | channel(c.green) << 8 | channel(c.blue);
}

const zwlr_layer_surface_v1_listener kCoverListener = {
    [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t, std::uint32_t) {
      // The size asked for is the output's: the buffer drawn for it stays.
      zwlr_layer_surface_v1_ack_configure(layer, serial);
      static_cast<MaskBackend::Cover*>(data)->configured = true;
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<MaskBackend::Cover*>(data)->owner->closed_ = true; }};

const wl_callback_listener kPresentedListener = {[](void* data, wl_callback* callback, std::uint32_t) {
  static_cast<MaskBackend::Cover*>(data)->presented = true;
  wl_callback_destroy(callback);
}};

}  // namespace

MaskBackend::MaskBackend() = default;

MaskBackend::~MaskBackend() {
  for (auto& cover : covers_) {
    if (cover->drawing.joinable()) cover->drawing.join();
    if (cover->layer) zwlr_layer_surface_v1_destroy(cover->layer);
    if (cover->surface) wl_surface_destroy(cover->surface);
  }
  covers_.clear();
}

bool MaskBackend::connect() {
  if (triedConnect_) return conn_ != nullptr;
  triedConnect_ = true;
  conn_ = quorvane::wayland::Connection::open();
  // Without layer-shell there is no layer under the windows to put covers in.
  if (conn_ && (!conn_->layerShell() || !conn_->compositor() || !conn_->shm())) conn_.reset();
  return conn_ != nullptr;
}

void MaskBackend::becomeAccessory() { connect(); }

std::vector<Screen> MaskBackend::readScreens() {
  std::vector<Screen> result;
  screenOutputs_.clear();
  for (const auto& o : conn_->outputs()) {
    if (!o->done) continue;
    result.push_back({o->x, o->y, o->pixelWidth(), o->pixelHeight()});
    screenOutputs_.push_back(o->id);
  }
  return result;
}

std::vector<Screen> MaskBackend::screens() {
  if (!connect()) return {};
  changesSeen_ = conn_->changes();
  screens_ = readScreens();
  return screens_;
}

const quorvane::wayland::Output* MaskBackend::outputOf(const Screen& screen) const {
  for (std::size_t i = 0; i < screens_.size(); ++i) {
    if (screens_[i] == screen) return conn_->output(screenOutputs_[i]);
  }
  return nullptr;
}

std::optional<SwayBackground> MaskBackend::swayChoice(const Screen& screen) {
  if (!swayConfigRead_) {
    swayConfigRead_ = true;
    if (auto ipc = quorvane::wayland::SwayIpc::forSession(conn_->peerPid())) swayConfig_ = readSwayConfig(*ipc);
  }
  const auto* output = outputOf(screen);
  if (!swayConfig_ || !output) return std::nullopt;
  const char* home = std::getenv("HOME");
  return swayBackground(*swayConfig_, output->name, home ? home : "");
}

WallpaperSource MaskBackend::wallpaper(const Screen& screen) {
  const auto& bg = background_.get();
  if (bg && bg->userChosen) {
    if (bg->pictureOptions == "none" || bg->uri.empty()) return NoWallpaper{};
    return WallpaperUrl{bg->uri};
  }
  // Without a GNOME choice, what the compositor draws itself is what shows.
  if (auto sway = swayChoice(screen)) {
    if (sway->file.empty()) {
      auto color = gsettings::parseColor(sway->color);
      if (!color) return NoWallpaper{};
      return PlacedImage{std::make_unique<SolidImage>(xrgbOf(*color))};
    }
    gchar* uri = g_filename_to_uri(sway->file.c_str(), nullptr, nullptr);
    if (!uri) return NoWallpaper{};
    WallpaperUrl url{uri};
    g_free(uri);
    return url;
  }
  if (bg && !bg->uri.empty() && bg->pictureOptions != "none") return WallpaperUrl{bg->uri};
  if (bg) {
    if (auto color = gsettings::parseColor(bg->primaryColor)) return PlacedImage{std::make_unique<SolidImage>(xrgbOf(*color))};
  }
  return NoWallpaper{};
}

std::unique_ptr<WallpaperImage> MaskBackend::openImage(const std::string& url) { return files_.open(url); }

std::optional<PlacementOptions> MaskBackend::placementOptions(const Screen& screen) {
  const auto& bg = background_.get();
  if (bg && bg->userChosen) return gsettings::placementFor(bg->pictureOptions, bg->primaryColor);
  if (auto sway = swayChoice(screen)) return swayPlacement(*sway);
  if (bg && !bg->uri.empty() && bg->pictureOptions != "none") return gsettings::placementFor(bg->pictureOptions, bg->primaryColor);
  if (bg) return PlacementOptions{static_cast<double>(kStretch), {}, {}};  // the colour alone
  return std::nullopt;
}

void MaskBackend::prepareCover(const CoverPlan& plan, std::int32_t) {
  // The level is the `bottom` layer, which the layer-shell request names.
  // Covers come in the order of the screens read.
  std::size_t index = covers_.size();
  const auto* output = index < screenOutputs_.size() ? conn_->output(screenOutputs_[index]) : nullptr;
  auto cover = std::make_unique<Cover>();
  cover->owner = this;
  cover->surface = wl_compositor_create_surface(conn_->compositor());
  cover->layer = zwlr_layer_shell_v1_get_layer_surface(conn_->layerShell(), cover->surface,
                                                       output ? output->output : nullptr,
                                                       ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM, kNamespace);
  zwlr_layer_surface_v1_add_listener(cover->layer, &kCoverListener, cover.get());
  // The whole output, pushing nothing aside, never taking keys or the pointer.
  zwlr_layer_surface_v1_set_size(cover->layer, 0, 0);
  zwlr_layer_surface_v1_set_anchor(cover->layer, kAllAnchors);
  zwlr_layer_surface_v1_set_exclusive_zone(cover->layer, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(cover->layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  wl_region* nothing = wl_compositor_create_region(conn_->compositor());
  wl_surface_set_input_region(cover->surface, nothing);
  wl_region_destroy(nothing);
  if (output && output->scale > 1 && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(cover->surface)) >= kBufferScaleSince) {
    wl_surface_set_buffer_scale(cover->surface, output->scale);
  }
  wl_surface_commit(cover->surface);  // asks for the first configure
  conn_->dispatchPending();

  // The same wallpaper on outputs of one size, the common case, is drawn once.
  const CoverRect whole{0, 0, plan.frame.width, plan.frame.height, 0, 0};
  cover->picture = coverPicture(plan, whole);
  cover->image = plan.image;
  cover->drawnBy = cover.get();
  for (const auto& earlier : covers_) {
    if (earlier->drawnBy == earlier.get() && earlier->picture == cover->picture) cover->drawnBy = earlier.get();
  }
  if (cover->drawnBy != cover.get()) {
    covers_.push_back(std::move(cover));
    return;
  }
  // Each screen is drawn on a core of its own while the next screen's
  // wallpaper is read; showCovers waits for them all.
  cover->buffer = quorvane::wayland::ShmBuffer::create(conn_->shm(), plan.frame.width, plan.frame.height,
                                                       plan.frame.width * 4, WL_SHM_FORMAT_XRGB8888);
  if (cover->buffer) {
    auto draw = [plan, whole, pixels = reinterpret_cast<std::uint32_t*>(cover->buffer->data()),
                 stride = cover->buffer->stride()] { drawCover(plan, whole, pixels, stride); };
    try {
      posix::TerminationBlocked inTheDrawingThread;
      cover->drawing = std::thread(draw);
    } catch (const std::system_error&) {
      draw();
    }
  }
  covers_.push_back(std::move(cover));
}

void MaskBackend::showCovers() {
  // Every cover's first configure, before any buffer is attached.
  // It answers the first commit, so one round trip brings it; a compositor
  // that sends none gets no buffer, and the mask ends by its time limit.
  // A compositor that has gone silent is not waited for longer than it takes to answer.
  const auto deadline = quorvane::posix::answerDeadline();
  for (int i = 0; i < kConfigureRoundTrips && !closed_; ++i) {
    if (std::all_of(covers_.begin(), covers_.end(), [](const auto& c) { return c->configured; })) break;
    if (!conn_->roundtrip(deadline)) break;
  }
  for (auto& cover : covers_) {
    if (cover->drawing.joinable()) cover->drawing.join();
  }
  for (auto& cover : covers_) {
    // One shm buffer may back several surfaces: we never draw into it again.
    const auto& buffer = cover->drawnBy->buffer;
    cover->image.reset();
    if (buffer && cover->configured) {
      wl_surface_attach(cover->surface, buffer->buffer(), 0, 0);
      wl_surface_damage_buffer(cover->surface, 0, 0, INT32_MAX, INT32_MAX);
    }
    wl_callback_add_listener(wl_surface_frame(cover->surface), &kPresentedListener, cover.get());
  }
  // All at once, so that no screen shows its cover long before another.
  for (auto& cover : covers_) wl_surface_commit(cover->surface);
  files_.clear();
  wl_display_flush(conn_->display());
}

bool MaskBackend::screensChanged() {
  if (closed_ || conn_->broken()) return true;
  if (conn_->changes() == changesSeen_) return false;
  changesSeen_ = conn_->changes();
  std::vector<std::uint32_t> covered = screenOutputs_;
  std::vector<Screen> now = readScreens();
  bool changed = now != screens_ || screenOutputs_ != covered;
  screenOutputs_ = covered;
  return changed;
}

Exit MaskBackend::run(DesktopMask& mask, Clock& clock) {
  int signalFd = posix::takeTerminationSignal();
  bool stdinOpen = true;
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    // A lost compositor takes the covers with it, as does a change of outputs.
    bool lost = !conn_->wait(fds, posix::timeoutMs(mask, clock));
    if (fds[0].revents & POLLIN) {
      if (Outcome end = posix::onTerminationSignal(mask, signalFd)) return *end;
    }
    if (Outcome end = posix::onControlInput(mask, fds[1].revents, stdinOpen)) return *end;
    if (lost || screensChanged()) return *mask.onScreensChanged();
    bool allShown = std::all_of(covers_.begin(), covers_.end(), [](const auto& c) { return c->presented; });
    if (allShown && !shownReported_) {
      shownReported_ = true;
      if (Outcome end = mask.onCoversShown()) return *end;
    }
    if (Outcome end = mask.onTimers()) return *end;
  }
}

}  // namespace quorvane::desktop::wayland
