// A JavaScript run inside KWin (org.kde.kwin.Scripting) that reports to us
// over D-Bus: what KWin knows and says through no protocol (the pointer
// position, windows being redrawn). The script calls `report(what, a, b)`
// (or callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, "Report", what, a, b,
// callback) to hear when we have taken it); each report reaches `onReport`,
// only when it comes from KWin itself.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/kde/session_bus.h"

namespace quorvane::kde {

struct ScriptReport {
  std::string what;
  double a = 0, b = 0;
};

class KWinScript {
 public:
  using Handler = std::function<void(const ScriptReport&)>;

  // Loads `body` into KWin as the script `name` (unloading one of that name a
  // dead run left behind) and runs it; returns once the script has started
  // (its first report, "started", is not handed on). nullptr when KWin has no
  // scripting interface, refuses the script or it does not start in time.
  static std::unique_ptr<KWinScript> load(sd_bus* bus, const std::string& name, const std::string& body,
                                          Handler onReport, Deadline deadline);
  // Unloads the script, waiting until the deadline set at load for the answer.
  ~KWinScript();
  KWinScript(const KWinScript&) = delete;
  KWinScript& operator=(const KWinScript&) = delete;

  // Hands on what has arrived, without waiting; false once the bus failed.
  bool dispatch();
  // Waits until `done` holds or the deadline passes, handing reports on.
  bool waitFor(const std::function<bool()>& done, Deadline deadline);

 private:
  explicit KWinScript(sd_bus* bus) : bus_(bus) {}
  static int onMessage(sd_bus_message* m, void* data, sd_bus_error* error);

  sd_bus* bus_;
  std::string name_, kwin_;  // the script's name; KWin's unique bus name
  std::string file_;         // the script's text, removed once KWin has read it
  sd_bus_slot* slot_ = nullptr;
  Handler onReport_;
  bool started_ = false;
  std::chrono::milliseconds unloadWait_{500};
};

// Unloads the script of that name from KWin, on any connection to the bus
// (a process ending while another thread uses the script's); whether KWin
// answered by the deadline.
bool unloadScript(sd_bus* bus, const std::string& name, Deadline deadline);

// The script text for a body: `report` defined to call back to `replyTo`, to
// the object numbered `object`; "" for what is no unique bus name.
std::string scriptSource(const std::string& replyTo, unsigned object, const std::string& body);

}  // namespace quorvane::kde
