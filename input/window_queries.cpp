#include "input/window_queries.h"

#include "common/numbers.h"
#include "common/text.h"
#include "input/answer.h"

namespace quorvane::input {

namespace {

constexpr const char* kListUnreadable = "无法读取当前桌面窗口边界";
constexpr const char* kListUnencodable = "无法编码窗口边界";
constexpr const char* kActiveUnreadable = "无法读取当前桌面窗口";
constexpr const char* kNoActiveWindow = "没有找到可截取的当前窗口";
constexpr const char* kWindowInfoFailed = "目标窗口已关闭、最小化或无法读取坐标";

}  // namespace

std::optional<WindowInfo> scrollWindowInfo(WindowSystem& system, std::uint32_t number) {
  auto list = system.windowById(number);
  if (!list || list->empty()) return std::nullopt;
  const WindowDescription& d = list->front();
  if (asBool(d, WindowKey::IsOnscreen) != true) return std::nullopt;
  auto bounds = asRect(d, WindowKey::Bounds);
  if (!bounds) return std::nullopt;
  auto pid = asI32(d, WindowKey::OwnerPid);
  if (!pid) return std::nullopt;
  return WindowInfo{*bounds, *pid};
}

std::optional<Rect> capturableBounds(const WindowDescription& d, std::int32_t parentPid, SizeTest size) {
  if (asInteger(d, WindowKey::Layer) != 0) return std::nullopt;
  if (auto alpha = asDouble(d, WindowKey::Alpha); alpha && !(*alpha > 0)) return std::nullopt;
  if (auto pid = asI32(d, WindowKey::OwnerPid); pid && *pid == parentPid) return std::nullopt;
  if (!asU32(d, WindowKey::Number)) return std::nullopt;
  auto bounds = asRect(d, WindowKey::Bounds);
  if (!bounds) return std::nullopt;
  bool fits = size == SizeTest::NonEmpty
                  ? bounds->w() > 0 && bounds->h() > 0
                  : bounds->w() >= kActiveMinimumSide && bounds->h() >= kActiveMinimumSide;
  if (!fits) return std::nullopt;
  return bounds;
}

std::string displayName(const WindowDescription& d) {
  auto owner = asString(d, WindowKey::OwnerName);
  // Backends hand over valid UTF-8; repairing again keeps a bad one from failing the whole list.
  return firstGraphemes(owner ? sanitizeUtf8(*owner) : std::string("窗口"), kMaxNameCharacters);
}

int runCaptureWindows(Services& s, Channel& channel) {
  auto list = s.system.onScreenWindows();
  if (!list) return answer(channel, errorMessage(kListUnreadable), 1);
  std::int32_t parent = s.process.parentPid();
  Json records = Json::array();
  for (const auto& d : *list) {
    if (records.size() == kMaxListedWindows) break;
    auto bounds = capturableBounds(d, parent, SizeTest::NonEmpty);
    if (!bounds) continue;
    std::string id = std::to_string(*asU32(d, WindowKey::Number));
    records.push_back(Json{{"id", id}, {"name", displayName(d) + " · " + id}, {"bounds", boundsJson(*bounds)}});
  }
  Encoded encoded = encodeJson(records);
  if (!encoded.bytes) return answer(channel, errorMessage(kListUnencodable), 1);
  channel.writeLine(*encoded.bytes);
  return 0;
}

int runActiveWindow(Services& s, Channel& channel) {
  auto list = s.system.onScreenWindows();
  if (!list) return answer(channel, errorMessage(kActiveUnreadable), 1);
  std::int32_t parent = s.process.parentPid();
  for (const auto& d : *list) {
    auto bounds = capturableBounds(d, parent, SizeTest::ActiveMinimum);
    if (!bounds) continue;
    std::string id = std::to_string(*asU32(d, WindowKey::Number));
    return answer(channel, Json{{"id", id}, {"name", displayName(d)}, {"bounds", boundsJson(*bounds)}}, 0);
  }
  return answer(channel, errorMessage(kNoActiveWindow), 1);
}

int runWindowInfo(WindowSystem& system, const std::vector<std::string>& args, Channel& channel) {
  std::optional<std::uint32_t> number;
  if (args.size() == 3) number = parseU32(args[2]);
  std::optional<WindowInfo> info;
  if (number) info = scrollWindowInfo(system, *number);
  if (!info) return answer(channel, errorMessage(kWindowInfoFailed), 1);
  return answer(channel, boundsJson(info->bounds), 0);
}

int runCheck(WindowSystem& system, Channel& channel) {
  return answer(channel, Json{{"allowed", system.listenAccess()}}, 0);
}

}  // namespace quorvane::input
