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
#include <xcb/xcb_ewmh.h>

#include "common/clock.h"
#include "common/outcome.h"
#include "common/x11/connection.h"
#include "desktop/mask.h"
#include "desktop/mask_platform.h"
#include "desktop/posix/loop_inputs.h"
#include "desktop/x11/cover_picture.h"
#include "desktop/gsettings/gsettings_wallpaper.h"

namespace quorvane::desktop::x11 {

// Takes the window an Expose event names off the covers still waiting to be
// seen; whether this event leaves none waiting. Only the server's own Expose
// counts: any client may send one (send_event set) before a cover is on screen.
bool lastCoverExposed(std::vector<xcb_window_t>& unexposed, const xcb_generic_event_t& event);

class MaskBackend final : public MaskPlatform {
 public:
  MaskBackend();
  ~MaskBackend() override;

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

  // Runs until a handler ends the mask; how it ended.
  Exit run(DesktopMask& mask, Clock& clock);

  static constexpr std::int32_t kDesktopLayer = 0;
  static constexpr std::int32_t kBelowLayer = 1;
  static constexpr std::int32_t kNormalLayer = 2;

 private:
  struct Cover {
    xcb_window_t window = XCB_NONE;
    xcb_pixmap_t pixmap = XCB_NONE;
    CoverPicture picture;
    std::shared_ptr<const Bitmap> image;  // keeps picture.image's identity meaningful
    std::size_t drawnBy = 0;              // the cover whose canvas it shows (itself, or an alike one)
    std::unique_ptr<CoverCanvas> canvas;  // until its pixels are in the pixmap
    std::thread drawing;
  };
  enum class Change { kNone, kScreens, kSpace };
  // What the events read in one turn of the loop amount to.
  struct Events {
    Change change = Change::kNone;  // the first change seen
    bool allShown = false;          // the last cover has just been exposed
  };

  bool connect();
  std::vector<Screen> readScreens();
  std::optional<std::uint32_t> currentDesktop();
  void readPixmapFormats();
  void startDrawing(Cover& cover, const CoverPlan& plan);
  // The cover already drawing this picture, else covers_.size().
  std::size_t coverDrawing(const CoverPicture& picture) const;
  void setCoverProperties(xcb_window_t w, const CoverRect& frame);
  // Reads every pending event, starting with one already taken from the queue.
  Events readEvents(xcb_generic_event_t* queued);
  Change handleEvent(xcb_generic_event_t* event, bool& allShown);

  std::unique_ptr<quorvane::x11::Connection> conn_;
  xcb_ewmh_connection_t ewmh_{};
  bool hasEwmh_ = false;
  bool triedConnect_ = false;
  std::uint8_t randrEventBase_ = 0;
  bool hasRandr_ = false;
  std::vector<Screen> screens_;
  std::optional<std::uint32_t> desktop_;
  gsettings::BackgroundOnce background_;
  xcb_visualtype_t* visual_ = nullptr;
  bool nativeXrgb_ = false;     // pixels go to the server as drawn, through shared memory
  bool sharedPixmaps_ = false;  // the shared memory can be the pixmap itself
  std::vector<Cover> covers_;
  std::vector<xcb_window_t> unexposed_;
  bool coversShownReported_ = false;
  posix::WallpaperFiles files_;  // covers share decoded images
};

}  // namespace quorvane::desktop::x11
