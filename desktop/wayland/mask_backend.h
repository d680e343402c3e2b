// The desktop mask on compositors with layer-shell (wlroots ones, KWin):
// outputs as screens, the wallpaper sway's configuration names or Plasma's
// desktop draws, covers as layer-shell surfaces on
// the `bottom` layer (above the `background` layer where desktop icons live,
// below every normal window), and the compositor's events for the loop.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/wayland/connection.h"
#include "common/wayland/shm.h"
#include "desktop/drawing/cover_drawing.h"
#include "desktop/posix/linux_platform.h"
#include "desktop/wayland/sway_wallpaper.h"

struct zwlr_layer_surface_v1;

namespace quorvane::desktop::wayland {

class MaskBackend final : public posix::LinuxPlatform {
 public:
  explicit MaskBackend(posix::Termination& termination) : LinuxPlatform(termination) {}
  ~MaskBackend() override;

  // The layer-shell layers, bottom to top: `background` (the icons), `bottom`
  // (the covers), then the normal windows.
  std::int32_t desktopIconLevel() override { return kBackgroundLayer; }
  std::int32_t normalWindowLevel() override { return kWindowLayer; }

  std::vector<Screen> screens() override;
  std::optional<WallpaperChoice> systemWallpaper(const Screen& screen) override;
  // The covers go in the `bottom` layer, which the layer-shell request names.
  void prepareCover(const CoverPlan& plan) override;
  void showCovers() override;

  static constexpr std::int32_t kBackgroundLayer = 0;
  static constexpr std::int32_t kWindowLayer = 2;

  struct Cover {
    MaskBackend* owner = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    wl_callback* frame = nullptr;  // until its first frame is presented
    std::size_t drawing = 0;       // its picture among drawings_ (shared by covers alike)
    bool configured = false;
    bool presented = false;
  };
  bool closed_ = false;  // the compositor took a cover away

 private:
  posix::WindowNews waitForWindows(std::span<pollfd> others, int timeoutMs) override;
  bool connect();
  std::vector<Screen> readScreens();
  const quorvane::wayland::Output* outputOf(const Screen& screen) const;
  // What sway's configuration draws on the screen's output, if sway says.
  std::optional<SwayBackground> swayChoice(const Screen& screen);
  // What Plasma's desktop draws on the screen's output, on KWin (which tells
  // Plasma's order of outputs) when Plasma's settings say.
  std::optional<WallpaperChoice> plasmaChoice(const Screen& screen);
  bool screensChanged();
  // Once shown and every cover configured: their buffers attached, all at once.
  void presentCovers();

  std::unique_ptr<quorvane::wayland::Connection> conn_;
  bool triedConnect_ = false;
  std::vector<Screen> screens_;
  std::vector<std::uint32_t> screenOutputs_;  // the output id of each screen
  std::uint64_t changesSeen_ = 0;
  bool swayConfigRead_ = false;
  std::optional<std::string> swayConfig_;
  bool plasmaOrderRead_ = false;
  std::optional<std::vector<std::string>> plasmaOrder_;
  std::vector<std::unique_ptr<Cover>> covers_;
  std::vector<std::unique_ptr<quorvane::wayland::ShmBuffer>> buffers_;  // one a drawing
  CoverDrawings drawings_;                                              // after the buffers: gone (joined) before them
  bool shown_ = false;     // showCovers has run
  bool attached_ = false;  // the buffers are attached
};

}  // namespace quorvane::desktop::wayland
