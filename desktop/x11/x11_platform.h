// The desktop mask on X11: RandR monitors as screens, the wallpaper from
// GSettings or the root pixmap, covers as managed windows kept below every
// normal window, and the event loop that feeds the core.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "common/clock.h"
#include "common/x11/connection.h"
#include "desktop/mask.h"
#include "desktop/platform.h"
#include "desktop/x11/cover_picture.h"
#include "desktop/x11/gsettings_wallpaper.h"

namespace quorvane::desktop::x11 {

class X11Platform final : public Platform {
 public:
  X11Platform();
  ~X11Platform() override;

  // EWMH stacking layers, bottom to top: desktop-type windows (the icons), the
  // "below" layer, normal windows.
  std::int32_t desktopIconLevel() override { return kDesktopLayer; }
  std::int32_t normalWindowLevel() override { return kNormalLayer; }

  void becomeAccessory() override;
  std::vector<Screen> screens() override;
  WallpaperSource wallpaper(const Screen& screen) override;
  std::unique_ptr<WallpaperImage> openImage(const std::string& url) override;
  std::optional<PlacementOptions> placementOptions(const Screen& screen) override;
  void prepareCover(const CoverPlan& plan, std::int32_t level) override;
  void showCovers() override;
  std::int32_t parentPid() override;
  bool processExists(std::int32_t pid) override;

  // Runs until a handler ends the mask; its exit status.
  int run(DesktopMask& mask, Clock& clock);

  static constexpr std::int32_t kDesktopLayer = 0;
  static constexpr std::int32_t kBelowLayer = 1;
  static constexpr std::int32_t kNormalLayer = 2;

 private:
  struct Cover {
    xcb_window_t window = XCB_NONE;
    xcb_pixmap_t pixmap = XCB_NONE;
    bool exposed = false;
    CoverPicture picture;
    std::shared_ptr<const Bitmap> image;  // keeps picture.image's identity meaningful
    std::size_t drawnBy = 0;              // the cover whose canvas it shows (itself, or an alike one)
    std::unique_ptr<CoverCanvas> canvas;  // until its pixels are in the pixmap
    std::thread drawing;
  };
  enum class Change { kNone, kScreens, kSpace };

  bool connect();
  std::vector<Screen> readScreens();
  std::optional<std::uint32_t> currentDesktop();
  const std::optional<DesktopBackground>& background();
  void readPixmapFormats();
  void startDrawing(Cover& cover, const CoverPlan& plan);
  // The cover already drawing this picture, else covers_.size().
  std::size_t coverDrawing(const CoverPicture& picture) const;
  void setCoverProperties(xcb_window_t w, const CoverRect& frame);
  Change handleEvent(xcb_generic_event_t* event, bool& allShown);

  std::unique_ptr<quorvane::x11::Connection> conn_;
  bool triedConnect_ = false;
  std::uint8_t randrEventBase_ = 0;
  bool hasRandr_ = false;
  std::vector<Screen> screens_;
  std::optional<std::uint32_t> desktop_;
  xcb_atom_t currentDesktopAtom_ = XCB_NONE;
  bool backgroundRead_ = false;
  std::optional<DesktopBackground> background_;
  xcb_visualtype_t* visual_ = nullptr;
  bool nativeXrgb_ = false;     // pixels go to the server as drawn, through shared memory
  bool sharedPixmaps_ = false;  // the shared memory can be the pixmap itself
  std::vector<Cover> covers_;
  // Covers share decoded images: the cache keeps each file opened once.
  std::vector<std::pair<std::string, std::shared_ptr<WallpaperImage>>> opened_;
};

}  // namespace quorvane::desktop::x11
