#include "common/kde/kwin_script.h"

#include <cstdlib>
#include <optional>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane::kde {

namespace {

constexpr char kKWin[] = "org.kde.KWin";
constexpr char kScripting[] = "org.kde.kwin.Scripting";
constexpr char kScript[] = "org.kde.kwin.Script";
// Each script reports to an object of its own, so that several can run at once.
constexpr char kReportPathPrefix[] = "/org/quorvane/KWinScript/s";
constexpr char kReportInterface[] = "org.quorvane.KWinScript";
constexpr char kStarted[] = "started";

// A unique bus name (":1.42"): safe inside a JavaScript string literal.
bool uniqueName(const std::string& name) {
  if (name.size() < 2 || name.size() > 255 || name[0] != ':') return false;
  for (char c : name.substr(1)) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<std::string> nameOwner(sd_bus* bus, const char* name, Deadline deadline) {
  sd_bus_message* m = nullptr;
  if (sd_bus_message_new_method_call(bus, &m, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetNameOwner") < 0) {
    return std::nullopt;
  }
  Message request(m);
  const char* owner = nullptr;
  if (sd_bus_message_append(m, "s", name) < 0) return std::nullopt;
  Reply r = call(bus, m, deadline);
  if (!r.ok() || sd_bus_message_read(r.message.get(), "s", &owner) < 0 || !owner) return std::nullopt;
  return std::string(owner);
}

// Any number the script's JavaScript value became on the bus.
bool readNumber(sd_bus_message* m, double& out) {
  char type = 0;
  if (sd_bus_message_peek_type(m, &type, nullptr) <= 0) return false;
  auto read = [&](auto value) {
    if (sd_bus_message_read_basic(m, type, &value) < 0) return false;
    out = static_cast<double>(value);
    return true;
  };
  switch (type) {
    case 'd': return read(double{});
    case 'i': return read(std::int32_t{});
    case 'u': return read(std::uint32_t{});
    case 'x': return read(std::int64_t{});
    case 't': return read(std::uint64_t{});
    default: return false;
  }
}

// Calls a method whose reply we read into `read`; false on any failure.
template <typename Read>
bool callKWin(sd_bus* bus, const std::string& path, const char* interface, const char* method, Deadline deadline,
              const std::function<int(sd_bus_message*)>& append, Read read) {
  sd_bus_message* m = nullptr;
  if (sd_bus_message_new_method_call(bus, &m, kKWin, path.c_str(), interface, method) < 0) return false;
  Message request(m);
  if (append && append(m) < 0) return false;
  Reply r = call(bus, m, deadline);
  return r.ok() && read(r.message.get());
}

}  // namespace

bool unloadScript(sd_bus* bus, const std::string& name, Deadline deadline) {
  return callKWin(bus, "/Scripting", kScripting, "unloadScript", deadline,
                  [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); },
                  [](sd_bus_message*) { return true; });
}

std::string scriptSource(const std::string& replyTo, unsigned object, const std::string& body) {
  if (!uniqueName(replyTo)) return {};
  return "var REPLY_TO = \"" + replyTo + "\", REPLY_PATH = \"" + kReportPathPrefix + std::to_string(object) +
         "\", REPLY_INTERFACE = \"" +
         kReportInterface + "\";\n"
         "function report(what, a, b) {\n"
         "  callDBus(REPLY_TO, REPLY_PATH, REPLY_INTERFACE, \"Report\",\n"
         "           String(what), Number(a || 0), Number(b || 0));\n"
         "}\n" + body + "\nreport(\"" + kStarted + "\");\n";
}

std::unique_ptr<KWinScript> KWinScript::load(sd_bus* bus, const std::string& name, const std::string& body,
                                             Handler onReport, Deadline deadline) {
  const char* self = nullptr;
  if (sd_bus_get_unique_name(bus, &self) < 0 || !self) return nullptr;
  auto kwin = nameOwner(bus, kKWin, deadline);
  static unsigned scripts = 0;
  const unsigned object = ++scripts;
  const std::string source = scriptSource(self, object, body);
  if (!kwin || source.empty()) return nullptr;
  std::unique_ptr<KWinScript> s(new KWinScript(bus));
  s->name_ = name;
  s->kwin_ = *kwin;
  s->onReport_ = std::move(onReport);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  s->unloadWait_ = std::max(left, std::chrono::milliseconds(100));
  // KWin reads the script from a file; ours alone may read it.
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/quorvane-kwin-script-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return nullptr;
  s->file_ = path;
  const bool written = write(fd, source.data(), source.size()) == static_cast<ssize_t>(source.size());
  close(fd);
  const std::string reportPath = kReportPathPrefix + std::to_string(object);
  if (!written || sd_bus_add_object(bus, &s->slot_, reportPath.c_str(), onMessage, s.get()) < 0) return nullptr;
  std::int32_t id = -1;
  auto loadScript = [&] {
    return callKWin(bus, "/Scripting", kScripting, "loadScript", deadline,
                    [&](sd_bus_message* m) { return sd_bus_message_append(m, "ss", path.c_str(), name.c_str()); },
                    [&](sd_bus_message* r) { return sd_bus_message_read(r, "i", &id) >= 0; });
  };
  // A script of this name still loaded was left by a run that died.
  if (!loadScript()) return nullptr;
  if (id < 0 && (!unloadScript(bus, name, deadline) || !loadScript() || id < 0)) return nullptr;
  // KWin 5 puts the script's object at /<id>; KWin 6 at /Scripting/Script<id>.
  const auto none = [](sd_bus_message*) { return true; };
  const bool ran = callKWin(bus, "/" + std::to_string(id), kScript, "run", deadline, nullptr, none) ||
                   callKWin(bus, "/Scripting/Script" + std::to_string(id), kScript, "run", deadline, nullptr, none);
  if (!ran || !s->waitFor([&] { return s->started_; }, deadline)) return nullptr;
  unlink(s->file_.c_str());
  s->file_.clear();
  return s;
}

KWinScript::~KWinScript() {
  if (!name_.empty()) unloadScript(bus_, name_, std::chrono::steady_clock::now() + unloadWait_);
  sd_bus_slot_unref(slot_);
  if (!file_.empty()) unlink(file_.c_str());
}

int KWinScript::onMessage(sd_bus_message* m, void* data, sd_bus_error*) {
  auto* s = static_cast<KWinScript*>(data);
  const char* sender = sd_bus_message_get_sender(m);
  if (!sd_bus_message_is_method_call(m, kReportInterface, "Report") || !sender || s->kwin_ != sender) return 0;
  const char* what = nullptr;
  ScriptReport report;
  if (sd_bus_message_read(m, "s", &what) < 0 || !what || !readNumber(m, report.a) || !readNumber(m, report.b)) {
    return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_INVALID_ARGS, "expected (s, number, number)");
  }
  report.what = what;
  if (report.what == kStarted) {
    s->started_ = true;
  } else if (s->onReport_) {
    s->onReport_(report);
  }
  return sd_bus_reply_method_return(m, "");
}

bool KWinScript::dispatch() {
  for (int r; (r = sd_bus_process(bus_, nullptr)) != 0;) {
    if (r < 0) return false;
  }
  return true;
}

bool KWinScript::waitFor(const std::function<bool()>& done, Deadline deadline) {
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline || !waitOnBus(bus_, deadline)) return false;
  }
  return true;
}

}  // namespace quorvane::kde
