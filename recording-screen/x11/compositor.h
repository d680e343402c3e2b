// Builds the picture of one monitor without some applications' windows, on
// the X server, and reads it back once, in bands from the top.
//
// Top-level windows are redirected (automatic Composite), so each keeps its
// whole content even where another window covers it. A frame is the screen
// as it is, except where a left-out window lies: there the background is
// painted again and every other window is composed over it, bottom to top.
// Only the rows such a window crosses go through that server-side picture;
// the others are read straight from the screen, as a plain grab would.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <xcb/render.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "common/x11/connection.h"
#include "common/x11/shm.h"
#include "common/x11/windows.h"
#include "recording-screen/capture.h"
#include "recording-screen/changed_rows.h"
#include "recording-screen/posix/wake_up.h"

namespace quorvane::recording::x11 {

using quorvane::x11::Connection;

// A top-level window and the processes that own it or a window inside it,
// down to where a window manager nests its client.
struct Window {
  quorvane::x11::TopLevel top;
  std::vector<std::int32_t> pids;
  bool ownerUnknown = false;  // some window in it has no owner we could establish, or was not searched
};

// Every child of the root with its owners, bottom to top. A few round trips,
// however many windows.
std::vector<Window> windowsWithOwners(const Connection& c);

// The distinct known owners, in stacking order.
std::vector<std::int32_t> ownerPids(const std::vector<Window>& windows);

// Whether a window is to be left out. Fails closed: a window whose owners
// cannot all be established counts as the application's.
bool leftOut(const Window& w, const std::vector<std::int32_t>& excludedPids);

struct Area {
  std::int32_t x = 0, y = 0;
  std::uint32_t width = 0, height = 0;
};

// The parts of the monitor covered by windows left out for these owners, in
// monitor coordinates (clipped to it). When the root holds more windows than
// are asked about, the unseen ones could be the application's: the whole
// monitor is left out.
std::vector<xcb_rectangle_t> hiddenAreas(const std::vector<Window>& windows, const std::vector<std::int32_t>& owners,
                                         const Area& monitor);

// Blends a premultiplied ARGB cursor image over BGRX pixels at (x, y), which may
// lie partly or wholly outside the picture.
void blendCursor(std::uint8_t* bgrx, std::uint32_t width, std::uint32_t height, std::size_t stride,
                 const std::uint32_t* argb, std::uint32_t cursorWidth, std::uint32_t cursorHeight, std::int32_t x,
                 std::int32_t y);

class Compositor {
 public:
  // nullptr with `error` set when the server lacks what is needed.
  static std::unique_ptr<Compositor> create(const Connection& c, const Area& monitor, std::string& error);
  ~Compositor();
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  // The monitor's picture now, its rows still on their way: await() before
  // using them. nullopt when the server cannot give it. Valid until the next
  // call; one caller at a time. `damaged`: the rows drawn on since the last
  // call, when known; then only those, the cursor's old and new rows are read
  // again and named in the view, unless the left-out areas changed.
  std::optional<PixelView> compose(const std::vector<std::int32_t>& excludedPids, bool withCursor,
                                   const std::optional<std::vector<RowSpan>>& damaged = std::nullopt);
  // Waits until the rows read above `bottom` are in the last picture; false
  // when some could not be read. Safe from any thread.
  bool await(std::uint32_t bottom);
  // The same without waiting: true when await(bottom) would return at once,
  // false while rows above `bottom` are still on their way. Safe from any thread.
  bool arrivedYet(std::uint32_t bottom);
  // After another use of the connection, which may have read answers in
  // while a thread slept in await(): that thread looks again.
  void nudge();

 private:
  Compositor(const Connection& c, const Area& monitor) : c_(c), monitor_(monitor) {}
  bool setUp(std::string& error);
  bool agreeVersions(std::string& error);
  bool loadFormats(std::string& error);
  void createPictures();
  xcb_render_pictformat_t formatOf(xcb_visualid_t visual) const;
  void paintBackground();
  void rebuild(const std::vector<Window>& windows, const std::vector<std::int32_t>& excludedPids,
               const std::vector<xcb_rectangle_t>& holes, const std::vector<RowRun>& runs);
  void readBack(const std::vector<RowRun>& runs);
  bool takeArrived(std::uint32_t bottom);
  std::optional<bool> take(std::size_t band);

  const Connection& c_;
  Area monitor_;
  std::vector<std::pair<xcb_visualid_t, xcb_render_pictformat_t>> formats_;
  xcb_render_pictformat_t rootFormat_ = 0;
  xcb_pixmap_t pixmap_ = XCB_NONE;
  xcb_render_picture_t picture_ = XCB_NONE;
  xcb_render_picture_t screen_ = XCB_NONE;  // the root with everything on it
  // Read-back: a shared segment when the server shares memory, else a copy.
  std::unique_ptr<quorvane::x11::ShmSegment> shared_;
  std::vector<std::uint8_t> copy_;
  std::uint8_t* pixels_ = nullptr;
  // The reads of the last picture, answered in order; under readLock_.
  struct Band {
    std::uint32_t top, bottom;
    unsigned int sequence;  // of its request
  };
  std::mutex readLock_;
  std::vector<Band> bands_;
  std::size_t received_ = 0;
  // Threads sleeping in await() for answers, told when another thread has
  // taken some in: they may have seen the last ones come before it did.
  int sleepers_ = 0;
  posix::WakeUp taken_;
  bool readFailed_ = false;
  // What the last picture was made of, so that the next reads only what
  // changed; composed_ once all its rows were read, under readLock_.
  bool composed_ = false;
  std::vector<xcb_rectangle_t> lastHoles_;
  std::optional<RowSpan> lastCursor_;
  quorvane::x11::Reply<xcb_xfixes_get_cursor_image_reply_t> cursor_;  // drawn on each band as it arrives
};

}  // namespace quorvane::recording::x11
