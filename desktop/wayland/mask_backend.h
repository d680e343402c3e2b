// The desktop mask on wlroots compositors: outputs as screens, the wallpaper
// from GSettings or the compositor's own configuration, covers as
// layer-shell surfaces on the `bottom` layer (above the `background` layer
// where desktop icons live, below every normal window), and the event loop
// that feeds the core.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/outcome.h"
#include "common/wayland/connection.h"
#include "common/wayland/shm.h"
#include "desktop/mask.h"
#include "desktop/mask_platform.h"
#include "desktop/posix/loop_inputs.h"
#include "desktop/wayland/sway_wallpaper.h"
#include "desktop/drawing/cover_drawing.h"
#include "desktop/gsettings/gsettings_wallpaper.h"

struct zwlr_layer_surface_v1;

namespace quorvane::desktop::wayland {

class MaskBackend final : public MaskPlatform {
 public:
  MaskBackend();
  ~MaskBackend() override;

  // The layer-shell layers, bottom to top: `background` (the icons), `bottom`
  // (the covers), then the normal windows.
  std::int32_t desktopIconLevel() override { return kBackgroundLayer; }
  std::int32_t normalWindowLevel() override { return kWindowLayer; }

  void becomeAccessory() override;
  std::vector<Screen> screens() override;
  WallpaperSource wallpaper(const Screen& screen) override;
  std::unique_ptr<WallpaperImage> openImage(const std::string& url) override;
  std::optional<PlacementOptions> placementOptions(const Screen& screen) override;
  void prepareCover(const CoverPlan& plan, std::int32_t level) override;
  void showCovers() override;

  // Runs until a handler ends the mask; how it ended.
  Exit run(DesktopMask& mask, Clock& clock);

  static constexpr std::int32_t kBackgroundLayer = 0;
  static constexpr std::int32_t kBottomLayer = 1;
  static constexpr std::int32_t kWindowLayer = 2;

  struct Cover {
    MaskBackend* owner = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    std::unique_ptr<quorvane::wayland::ShmBuffer> buffer;
    // What its picture depends on: covers alike share one drawing and buffer.
    CoverPicture picture;
    std::shared_ptr<const Bitmap> image;  // keeps picture.image's identity meaningful
    Cover* drawnBy = nullptr;             // the cover whose buffer it shows (itself, or an alike one)
    std::thread drawing;
    bool configured = false;
    bool presented = false;
  };

 private:
  bool connect();
  std::vector<Screen> readScreens();
  const quorvane::wayland::Output* outputOf(const Screen& screen) const;
  // What sway's configuration draws on the screen's output, if sway says.
  std::optional<SwayBackground> swayChoice(const Screen& screen);
  bool screensChanged();

  std::unique_ptr<quorvane::wayland::Connection> conn_;
  bool triedConnect_ = false;
  std::vector<Screen> screens_;
  std::vector<std::uint32_t> screenOutputs_;  // the output id of each screen
  std::uint64_t changesSeen_ = 0;
  gsettings::BackgroundOnce background_;
  bool swayConfigRead_ = false;
  std::optional<std::string> swayConfig_;
  std::vector<std::unique_ptr<Cover>> covers_;

 public:
  bool closed_ = false;  // the compositor took a cover away

 private:
  bool shownReported_ = false;
  posix::WallpaperFiles files_;
};

}  // namespace quorvane::desktop::wayland
