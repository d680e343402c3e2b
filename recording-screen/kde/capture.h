// The capture service on KWin (Plasma's compositor), which its `.desktop`
// grant lets this program use: outputs are the displays (their registry names
// the ids), each frame is one ScreenShot2 capture of the output, taken when the
// frame is read, and the application's windows, whose places KWin's window
// list tells, are painted over. ScreenShot2 tells nothing of what changed: a
// script inside KWin reports windows redrawn, moved, shown, gone or activated
// (and the pointer moving when it is drawn), one report awaiting our answer
// at a time; where KWin takes no script, every tick counts as a change. The
// rows that changed are found by comparing with the frame before.
//
// Threads: the capture thread waits on a Wayland connection and a bus
// connection of its own for output changes and the script's reports; the
// sample worker captures and reads the window list on the connection main
// found the grant with.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/kde/kwin_script.h"
#include "common/kde/session_bus.h"
#include "common/wayland/connection.h"
#include "common/wayland/plasma_windows.h"
#include "recording-screen/capture.h"
#include "recording-screen/kde/kwin_frames.h"
#include "recording-screen/posix/wake_up.h"
#include "recording-screen/wayland/parent_windows.h"

namespace quorvane::recording::kde {

class KWinCapture final : public CaptureService {
 public:
  // `windows` is KWin's window list read on `connection`: offered only to a
  // program the grant names.
  KWinCapture(std::unique_ptr<quorvane::wayland::Connection> connection,
              std::unique_ptr<quorvane::wayland::PlasmaWindowManagement> windows);

  // Whether ScreenShot2 answers this program with pixels.
  bool permitted() override;
  ContentResult shareableContent() override;
  std::optional<std::string> start(const ContentFilter& filter, const StreamConfiguration& configuration) override;
  Waited wait(int timeoutMs) override;
  std::optional<bool> takeChange() override;
  void wake() override { wakeUp_.wake(); }
  // A capture of the output now, the application's windows painted over.
  Picture readPicture() override;

  // As the process ends, from the main thread: KWin keeps a script until it
  // is unloaded (one left by a killed streamer only flags changes nobody asks for).
  void leave();

 private:
  void end(StreamEnd why);
  void checkOutput();
  // Loads the script that reports changes; none when KWin takes none.
  void watchChanges();

  ContentFilter filter_;
  StreamConfiguration configuration_;
  std::string outputName_;

  // The capture thread's.
  std::unique_ptr<quorvane::wayland::Connection> outputs_;
  std::uint64_t changesSeen_ = 0;
  std::optional<StreamEnd> end_;
  recording::posix::WakeUp wakeUp_;
  quorvane::kde::Bus changesBus_;
  std::unique_ptr<quorvane::kde::KWinScript> changes_;
  std::string scriptName_;  // set before the capture thread starts
  bool changed_ = true;        // since the last tick (the first tick shows the screen)
  bool toldInWait_ = false;    // a report came during the current wait

  std::mutex placeLock_;
  wayland::OutputPlace place_;  // moved by the capture thread, read by the sample worker

  // The sample worker's.
  std::unique_ptr<quorvane::wayland::Connection> listConnection_;
  std::unique_ptr<quorvane::wayland::PlasmaWindowManagement> windows_;
  quorvane::kde::Bus bus_;
  WindowIds ids_;
  std::vector<wayland::Place> placesBefore_;
  std::vector<std::uint8_t> given_, before_;  // the frame given last, and the one before
  std::size_t givenStride_ = 0;
};

}  // namespace quorvane::recording::kde
