// The capture service on wlroots compositors: outputs are the displays (their
// registry names the ids), frames come from screencopy into wl_shm buffers
// reused from frame to frame, and `copy_with_damage` tells complete frames
// from idle ones: the compositor answers a copy only once something changed.
// No protocol leaves another client's windows out; on sway their places are
// read from its IPC and painted over.
#pragma once

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/wayland/connection.h"
#include "common/wayland/shm.h"
#include "common/wayland/sway_ipc.h"
#include "recording-screen/capture.h"
#include "recording-screen/wayland/parent_windows.h"

struct zwlr_screencopy_frame_v1;

namespace quorvane::recording::wayland {

// What covers the application's windows: sway's own grey, shown where no
// background is drawn.
inline constexpr std::uint32_t kCoverXrgb = 0x404040;

class WaylandCapture final : public CaptureService {
 public:
  // Connects in permitted().
  WaylandCapture();
  ~WaylandCapture() override;

  bool permitted() override;
  ContentResult shareableContent() override;
  std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration,
                                   StreamOutput& output) override;
  std::optional<std::string> stop() override;
  void frameRequested() override;
  void halt() override;

  // The latest copied picture, the application's windows painted over, and
  // the rows changed since the picture given before. Called by the frame
  // being handled, on the sample worker.
  std::optional<PixelView> latestPicture();

  // Screencopy events, on the capture thread.
  struct Copy;
  void described(Copy& copy);
  void copied(Copy& copy);
  void copyFailed();

 private:
  void run();
  void loop();
  bool pump(int timeoutMs);
  bool issueCopy();
  void tick(bool changed);
  bool outputStillFits();
  void wakeUp();
  void park();
  std::vector<PixelRect> applicationAreas(const OutputPlace& place);

  std::unique_ptr<quorvane::wayland::Connection> connection_;
  StreamOutput* output_ = nullptr;
  ContentFilter filter_;
  StreamConfiguration configuration_;
  wl_output* wlOutput_ = nullptr;
  std::uint64_t changesSeen_ = 0;
  std::unique_ptr<Copy> copy_;  // the copy in flight
  bool anyCopied_ = false;
  bool copiedSinceTick_ = false;
  bool copyFailed_ = false;
  bool ended_ = false;  // the stream ended with an error: nothing more is delivered
  int wakeFd_ = -1;

  // Three buffers: the one the compositor copies into, the latest copied,
  // and the one the sample worker reads; none is ever two of these at once.
  std::mutex picturesLock_;
  std::array<std::unique_ptr<quorvane::wayland::ShmBuffer>, 3> buffers_;
  int front_ = -1, held_ = -1;
  bool givenOnce_ = false;
  std::vector<RowSpan> changedRows_;  // since the picture last given
  OutputPlace place_;
  std::vector<PixelRect> coveredBefore_;
  std::unique_ptr<quorvane::wayland::SwayIpc> ipc_;  // the sample worker's

  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool waitingForChange_ = false;  // a request answered with an idle frame
  bool halted_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace quorvane::recording::wayland
