// The desktop mask on X11: RandR monitors as screens, the root pixmap a
// wallpaper setter leaves, covers as managed windows kept below every normal
// window, and the server's events for the loop.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include "common/x11/connection.h"
#include "desktop/drawing/cover_drawing.h"
#include "desktop/posix/linux_platform.h"
#include "desktop/x11/cover_picture.h"

namespace quorvane::desktop::x11 {

// Takes the window an Expose event names off the covers still waiting to be
// seen. Only the server's own Expose counts: any client may send one
// (send_event set) before a cover is on screen.
void takeExposed(std::vector<xcb_window_t>& unexposed, const xcb_generic_event_t& event);

class MaskBackend final : public posix::LinuxPlatform {
 public:
  explicit MaskBackend(posix::Termination& termination) : LinuxPlatform(termination) {}
  ~MaskBackend() override;

  // EWMH stacking layers, bottom to top: desktop-type windows (the icons), the
  // "below" layer, normal windows.
  std::int32_t desktopIconLevel() override { return kDesktopLayer; }
  std::int32_t normalWindowLevel() override { return kNormalLayer; }

  std::vector<Screen> screens() override;
  std::optional<WallpaperChoice> systemWallpaper(const Screen& screen) override;
  // The covers go in the "below" layer, which only the window manager can give.
  void prepareCover(const CoverPlan& plan) override;
  void showCovers() override;

  static constexpr std::int32_t kDesktopLayer = 0;
  static constexpr std::int32_t kNormalLayer = 2;

 private:
  struct Cover {
    xcb_window_t window = XCB_NONE;
    std::size_t drawing = 0;  // its picture among drawings_ (shared by covers alike)
  };

  posix::WindowNews waitForWindows(std::span<pollfd> others, int timeoutMs) override;
  bool connect();
  std::vector<Screen> readScreens();
  std::optional<std::uint32_t> currentDesktop();
  void readPixmapFormats();
  void setCoverProperties(xcb_window_t w, const CoverRect& frame);
  posix::ScreenChange handleEvent(xcb_generic_event_t* event);

  std::unique_ptr<quorvane::x11::Connection> conn_;
  xcb_ewmh_connection_t ewmh_{};
  bool hasEwmh_ = false;
  bool triedConnect_ = false;
  std::uint8_t randrEventBase_ = 0;
  bool hasRandr_ = false;
  std::vector<Screen> screens_;
  std::optional<std::uint32_t> desktop_;
  xcb_visualtype_t* visual_ = nullptr;
  bool nativeXrgb_ = false;     // pixels go to the server as drawn, through shared memory
  bool sharedPixmaps_ = false;  // the shared memory can be the pixmap itself
  std::vector<Cover> covers_;
  std::vector<xcb_window_t> unexposed_;
  std::vector<std::unique_ptr<CoverCanvas>> canvases_;  // one a drawing, until its pixels are in a pixmap
  CoverDrawings drawings_;                              // after the canvases: gone (joined) before them
};

}  // namespace quorvane::desktop::x11
