// The capture service on wlroots compositors: outputs are the displays (their
// registry names the ids), frames come from screencopy into wl_shm buffers
// reused from frame to frame, and `copy_with_damage` tells a changed output
// from an idle one: the compositor answers a copy only once something changed.
// No protocol leaves another client's windows out; on sway their places are
// read from its IPC and painted over.
#pragma once

#include <array>
#include <memory>
#include <mutex>

#include "common/wayland/connection.h"
#include "common/wayland/shm.h"
#include "common/wayland/sway_ipc.h"
#include "common/wayland/sway_tree.h"
#include "recording-screen/capture.h"
#include "recording-screen/posix/wake_up.h"
#include "recording-screen/wayland/parent_windows.h"

namespace quorvane::recording::wayland {

// Padding a compositor may ask for at the end of each row of a frame.
inline constexpr std::uint32_t kMaxRowPadding = 256;

class WaylandCapture final : public CaptureService {
 public:
  // Connects in permitted(), unless given the session's connection.
  explicit WaylandCapture(std::unique_ptr<quorvane::wayland::Connection> connection = nullptr);
  ~WaylandCapture() override;

  bool permitted() override;
  ContentResult shareableContent() override;
  std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration) override;
  Waited wait(int timeoutMs) override;
  std::optional<bool> takeChange() override;
  void wake() override { wakeUp_.wake(); }
  // The latest copied picture, the application's windows painted over, and
  // the rows changed since the picture given before.
  Picture readPicture() override;

  // Screencopy events of the copy in flight, on the capture thread.
  struct Copy;
  void described(Copy& copy);
  void copied(Copy& copy);
  void copyFailed() { copyFailed_ = true; }

 private:
  bool issueCopy();
  void end(StreamEnd why);
  void checkOutput();
  bool outputStillFits();
  Covered applicationAreas(const OutputPlace& place);

  std::unique_ptr<quorvane::wayland::Connection> connection_;
  ContentFilter filter_;
  StreamConfiguration configuration_;
  wl_output* wlOutput_ = nullptr;
  std::uint64_t changesSeen_ = 0;
  std::unique_ptr<Copy> copy_;  // the copy in flight
  bool anyCopied_ = false;
  bool copiedSinceTick_ = false;
  bool copiedDuringWait_ = false;
  bool copyFailed_ = false;
  std::optional<StreamEnd> end_;  // the stream cannot go on: nothing more is done
  posix::WakeUp wakeUp_;

  // Three buffers: the one the compositor copies into, the latest copied,
  // and the one the sample worker reads; none is ever two of these at once.
  std::mutex picturesLock_;
  std::array<std::unique_ptr<quorvane::wayland::ShmBuffer>, 3> buffers_;
  int front_ = -1, held_ = -1;
  bool givenOnce_ = false;
  std::vector<RowSpan> changedRows_;  // since the picture last given
  OutputPlace place_;
  // The sample worker's: where the application's windows lay at the last
  // look, and what was painted over in the picture given last.
  std::vector<Place> placesBefore_;
  std::vector<PixelRect> paintedBefore_;
  std::unique_ptr<quorvane::wayland::SwayIpc> ipc_;
};

}  // namespace quorvane::recording::wayland
