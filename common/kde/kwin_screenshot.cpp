#include "common/kde/kwin_screenshot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quorvane::kde {

namespace {

constexpr char kService[] = "org.kde.KWin";
constexpr char kPath[] = "/org/kde/KWin/ScreenShot2";
constexpr char kInterface[] = "org.kde.KWin.ScreenShot2";
constexpr char kNotAuthorized[] = "org.kde.KWin.ScreenShot2.Error.NoAuthorized";
constexpr std::size_t kMaxResults = 64;  // KWin returns half a dozen

const std::uint32_t* number(const ShotResults& results, const char* key) {
  auto it = results.find(key);
  return it == results.end() ? nullptr : std::get_if<std::uint32_t>(&it->second);
}

bool wordFormat(std::uint32_t format) {
  return format == kShotRgb32 || format == kShotArgb32 || format == kShotArgb32Premultiplied;
}
bool byteFormat(std::uint32_t format) {
  return format == kShotRgbx8888 || format == kShotRgba8888 || format == kShotRgba8888Premultiplied;
}

// The a{sv} of a reply: numbers, texts and doubles kept, other values skipped.
bool readResults(sd_bus_message* m, ShotResults& results) {
  if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return false;
  for (int r; (r = sd_bus_message_enter_container(m, 'e', "sv")) != 0;) {
    const char* key = nullptr;
    const char* contents = nullptr;
    if (r < 0 || results.size() >= kMaxResults || sd_bus_message_read(m, "s", &key) < 0 ||
        sd_bus_message_peek_type(m, nullptr, &contents) < 0 || !contents) {
      return false;
    }
    const std::string type = contents;
    if (type == "u" || type == "s" || type == "d") {
      if (sd_bus_message_enter_container(m, 'v', contents) < 0) return false;
      std::uint32_t u = 0;
      const char* s = nullptr;
      double d = 0;
      if (type == "u" && sd_bus_message_read(m, "u", &u) >= 0) results[key] = u;
      if (type == "s" && sd_bus_message_read(m, "s", &s) >= 0 && s) results[key] = std::string(s);
      if (type == "d" && sd_bus_message_read(m, "d", &d) >= 0) results[key] = d;
      if (sd_bus_message_exit_container(m) < 0) return false;
    } else if (sd_bus_message_skip(m, "v") < 0) {
      return false;
    }
    if (sd_bus_message_exit_container(m) < 0) return false;
  }
  return sd_bus_message_exit_container(m) >= 0;
}

// Options are all booleans.
int appendOptions(sd_bus_message* m, std::initializer_list<std::pair<const char*, bool>> options) {
  int r = sd_bus_message_open_container(m, 'a', "{sv}");
  for (const auto& [key, value] : options) {
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", key, "b", static_cast<int>(value));
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

struct Pending {
  bool answered = false;
  std::string error, text;
  ShotResults results;
  bool resultsRead = false;
};

int onReply(sd_bus_message* m, void* data, sd_bus_error*) {
  auto* p = static_cast<Pending*>(data);
  p->answered = true;
  if (const sd_bus_error* e = sd_bus_message_get_error(m)) {
    p->error = e->name ? e->name : "org.freedesktop.DBus.Error.Failed";
    p->text = e->message ? e->message : "";
  } else {
    p->resultsRead = readResults(m, p->results);
  }
  return 0;
}

ShotOutcome failed(ShotFailure failure, std::string detail = {}) {
  ShotOutcome o;
  o.failure = failure;
  o.detail = std::move(detail);
  return o;
}

}  // namespace

std::optional<ShotLayout> shotLayout(const ShotResults& results) {
  auto type = results.find("type");
  const auto* width = number(results, "width");
  const auto* height = number(results, "height");
  const auto* stride = number(results, "stride");
  const auto* format = number(results, "format");
  if (type == results.end() || type->second != ShotValue(std::string("raw")) || !width || !height || !stride ||
      !format) {
    return std::nullopt;
  }
  const std::uint64_t pixels = std::uint64_t{*width} * *height;
  if (*width == 0 || *height == 0 || *width > kMaxShotSide || *height > kMaxShotSide || pixels > kMaxShotPixels) {
    return std::nullopt;
  }
  if (!wordFormat(*format) && !byteFormat(*format)) return std::nullopt;
  if (*stride < std::uint64_t{*width} * 4 || *stride % 4 != 0 ||
      std::uint64_t{*stride} * *height > kMaxShotPixels * 4) {
    return std::nullopt;
  }
  return ShotLayout{*width, *height, *stride, *format};
}

std::uint32_t Shot::rgb(std::uint32_t x, std::uint32_t y) const {
  const std::uint8_t* p = bytes.data() + std::size_t{y} * layout.stride + std::size_t{x} * 4;
  // Words are native (little-endian here): B, G, R, A in memory.
  if (wordFormat(layout.format)) return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
  return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

ShotOutcome KWinScreenShot::screen(const std::string& name, bool withCursor, Deadline deadline) {
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "CaptureScreen");
  Message request(m);
  if (r >= 0) r = sd_bus_message_append(m, "s", name.c_str());
  if (r >= 0) r = appendOptions(m, {{"include-cursor", withCursor}, {"native-resolution", true}});
  return r < 0 ? failed(ShotFailure::kRefused, "cannot build the call") : capture(std::move(request), deadline);
}

ShotOutcome KWinScreenShot::area(std::int32_t x, std::int32_t y, std::uint32_t width, std::uint32_t height,
                                 bool withCursor, Deadline deadline) {
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "CaptureArea");
  Message request(m);
  if (r >= 0) r = sd_bus_message_append(m, "iiuu", x, y, width, height);
  if (r >= 0) r = appendOptions(m, {{"include-cursor", withCursor}, {"native-resolution", true}});
  return r < 0 ? failed(ShotFailure::kRefused, "cannot build the call") : capture(std::move(request), deadline);
}

ShotOutcome KWinScreenShot::window(const std::string& uuid, Deadline deadline) {
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "CaptureWindow");
  Message request(m);
  if (r >= 0) r = sd_bus_message_append(m, "s", uuid.c_str());
  if (r >= 0) {
    r = appendOptions(m, {{"include-decoration", false}, {"include-shadow", false}, {"native-resolution", true}});
  }
  return r < 0 ? failed(ShotFailure::kRefused, "cannot build the call") : capture(std::move(request), deadline);
}

// KWin may write the pixels before, while or after it replies: the pipe is
// read while the reply is awaited, so that a full pipe never stalls either.
ShotOutcome KWinScreenShot::capture(Message request, Deadline deadline) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return failed(ShotFailure::kRefused, "no pipe");
  int r = sd_bus_message_append(request.get(), "h", fds[1]);  // the message holds a copy
  close(fds[1]);
  Pending pending;
  sd_bus_slot* slot = nullptr;
  if (r >= 0) r = sd_bus_call_async(bus_, &slot, request.get(), onReply, &pending, usecUntil(deadline));
  // Once sent, no copy of the pipe's writing end may stay here: KWin's closing it is the end of the image.
  request.reset();
  if (r < 0) {
    close(fds[0]);
    return failed(ShotFailure::kRefused, std::string("cannot send the call: ") + strerror(-r));
  }
  std::vector<std::uint8_t> bytes;
  bool ended = false, tooMuch = false;
  while (std::chrono::steady_clock::now() < deadline && !(pending.answered && (ended || !pending.error.empty()))) {
    for (std::uint8_t chunk[65536]; !ended && !tooMuch;) {
      const ssize_t n = read(fds[0], chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;  // EAGAIN: more to come
      ended = n == 0;
      bytes.insert(bytes.end(), chunk, chunk + n);
      tooMuch = bytes.size() > kMaxShotPixels * 4;
    }
    if (tooMuch || (pending.answered && (ended || !pending.error.empty()))) break;
    if (!waitOnBus(bus_, deadline, ended ? -1 : fds[0], POLLIN)) break;
  }
  sd_bus_slot_unref(slot);  // a call still pending is forgotten, its reply dropped
  close(fds[0]);
  if (pending.error == kNotAuthorized) return failed(ShotFailure::kNotAuthorized, pending.text);
  if (!pending.error.empty()) return failed(ShotFailure::kRefused, pending.error + ": " + pending.text);
  if (tooMuch) return failed(ShotFailure::kBadImage, "more bytes than any image we take");
  if (!pending.answered || !ended) return failed(ShotFailure::kNoAnswer);
  auto layout = pending.resultsRead ? shotLayout(pending.results) : std::nullopt;
  if (!layout || bytes.size() != std::size_t{layout->stride} * layout->height) {
    return failed(ShotFailure::kBadImage, "results or bytes that make no image");
  }
  ShotOutcome o;
  o.shot = Shot{*layout, std::move(bytes)};
  return o;
}

}  // namespace quorvane::kde
