#include "desktop/wayland/mask_backend.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <glib.h>

#include "common/wayland/output_order.h"
#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "desktop/wayland/plasma_desktop.h"

namespace quorvane::desktop::wayland {

namespace {

constexpr std::uint32_t kAllAnchors = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
constexpr char kNamespace[] = "quorvane-desktop";
constexpr std::uint32_t kBufferScaleSince = 3;

const zwlr_layer_surface_v1_listener kCoverListener = {
    [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t, std::uint32_t) {
      // The size asked for is the output's: the buffer drawn for it stays.
      zwlr_layer_surface_v1_ack_configure(layer, serial);
      static_cast<MaskBackend::Cover*>(data)->configured = true;
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<MaskBackend::Cover*>(data)->owner->closed_ = true; }};

const wl_callback_listener kPresentedListener = {[](void* data, wl_callback* callback, std::uint32_t) {
  auto* cover = static_cast<MaskBackend::Cover*>(data);
  cover->presented = true;
  cover->frame = nullptr;
  wl_callback_destroy(callback);
}};

}  // namespace

MaskBackend::~MaskBackend() {
  drawings_.finish();  // drawings still running when a later screen failed
  for (auto& cover : covers_) {
    if (cover->frame) wl_callback_destroy(cover->frame);  // a compositor that never presented it
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

std::optional<WallpaperChoice> MaskBackend::plasmaChoice(const Screen& screen) {
  if (!plasmaOrderRead_) {
    plasmaOrderRead_ = true;
    plasmaOrder_ = quorvane::wayland::outputOrder(conn_->display(), quorvane::posix::answerDeadline());
  }
  const auto* output = outputOf(screen);
  if (!plasmaOrder_ || !output) return std::nullopt;
  const auto number = plasmaScreen(*plasmaOrder_, output->name);
  if (!number) return std::nullopt;
  // XDG_CONFIG_HOME, else ~/.config, as Plasma reads it.
  auto plasma = kde::readPlasmaWallpaper(g_get_user_config_dir(), *number, screen.width, screen.height);
  return plasma ? std::optional(plasmaWallpaper(*plasma)) : std::nullopt;
}

std::optional<WallpaperChoice> MaskBackend::systemWallpaper(const Screen& screen) {
  if (auto sway = swayChoice(screen)) return swayWallpaper(*sway);
  return plasmaChoice(screen);
}

void MaskBackend::prepareCover(const CoverPlan& plan) {
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

  const CoverRect whole{0, 0, plan.frame.width, plan.frame.height, 0, 0};
  cover->drawing = drawings_.draw(plan, coverPicture(plan, whole), whole, [&] {
    auto& buffer = buffers_.emplace_back(quorvane::wayland::ShmBuffer::create(
        conn_->shm(), plan.frame.width, plan.frame.height, plan.frame.width * 4, WL_SHM_FORMAT_XRGB8888));
    if (!buffer) return CoverDrawings::Canvas{};
    return CoverDrawings::Canvas{reinterpret_cast<std::uint32_t*>(buffer->data()), buffer->stride()};
  });
  covers_.push_back(std::move(cover));
}

void MaskBackend::showCovers() {
  drawings_.finish();
  releaseFiles();
  shown_ = true;
  presentCovers();
}

void MaskBackend::presentCovers() {
  // Every cover's first configure comes before any buffer is attached. The
  // loop waits for them (a compositor that sends none gets no buffer, and the
  // mask ends by its time limit), and all covers then go up at once, so that
  // no screen shows its cover long before another.
  auto configured = [](const auto& c) { return c->configured; };
  if (!shown_ || attached_ || !std::all_of(covers_.begin(), covers_.end(), configured)) return;
  attached_ = true;
  for (auto& cover : covers_) {
    // One shm buffer may back several surfaces: we never draw into it again.
    if (const auto& buffer = buffers_[cover->drawing]) {
      wl_surface_attach(cover->surface, buffer->buffer(), 0, 0);
      wl_surface_damage_buffer(cover->surface, 0, 0, INT32_MAX, INT32_MAX);
    }
    cover->frame = wl_surface_frame(cover->surface);
    wl_callback_add_listener(cover->frame, &kPresentedListener, cover.get());
  }
  for (auto& cover : covers_) wl_surface_commit(cover->surface);
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

posix::WindowNews MaskBackend::waitForWindows(std::span<pollfd> others, int timeoutMs) {
  // A lost compositor takes the covers with it, as does a change of outputs.
  if (!conn_->wait(others, timeoutMs) || screensChanged()) return {posix::ScreenChange::kScreens, false};
  presentCovers();
  bool allShown = attached_ && std::all_of(covers_.begin(), covers_.end(), [](const auto& c) { return c->presented; });
  return {posix::ScreenChange::kNone, allShown};
}

}  // namespace quorvane::desktop::wayland
