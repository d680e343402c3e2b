#include "input/window_queries.h"

#include "common/numbers.h"
#include "common/text.h"
#include "input/answer.h"
#include "input/texts.h"

namespace quorvane::input {

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
  return firstGraphemes(owner ? sanitizeUtf8(*owner) : std::string(texts::kUnnamedWindow), kMaxNameCharacters);
}

int runCaptureWindows(Services& s, Channel& channel) {
  auto list = s.system.onScreenWindows();
  if (!list) return answer(channel, errorMessage(texts::kListUnreadable), 1);
  std::int32_t parent = s.process.parentPid();
  Json records = Json::array();
  for (const auto& d : *list) {
    if (records.size() == kMaxListedWindows) break;
    auto bounds = capturableBounds(d, parent, SizeTest::NonEmpty);
    if (!bounds) continue;
    std::string id = std::to_string(*asU32(d, WindowKey::Number));
    const std::string name = displayName(d) + texts::kNameNumberSeparator + id;
    records.push_back(Json{{"id", id}, {"name", name}, {"bounds", boundsJson(*bounds)}});
  }
  Encoded encoded = encodeJson(records);
  if (!encoded.bytes) return answer(channel, errorMessage(texts::kListUnencodable), 1);
  channel.writeLine(*encoded.bytes);
  return 0;
}

int runActiveWindow(Services& s, Channel& channel) {
  auto list = s.system.onScreenWindows();
  if (!list) return answer(channel, errorMessage(texts::kActiveUnreadable), 1);
  std::int32_t parent = s.process.parentPid();
  for (const auto& d : *list) {
    auto bounds = capturableBounds(d, parent, SizeTest::ActiveMinimum);
    if (!bounds) continue;
    std::string id = std::to_string(*asU32(d, WindowKey::Number));
    return answer(channel, Json{{"id", id}, {"name", displayName(d)}, {"bounds", boundsJson(*bounds)}}, 0);
  }
  return answer(channel, errorMessage(texts::kNoActiveWindow), 1);
}

int runWindowInfo(WindowSystem& system, const std::vector<std::string>& args, Channel& channel) {
  std::optional<std::uint32_t> number;
  if (args.size() == 3) number = parseU32(args[2]);
  std::optional<WindowInfo> info;
  if (number) info = scrollWindowInfo(system, *number);
  if (!info) return answer(channel, errorMessage(texts::kWindowInfoFailed), 1);
  return answer(channel, boundsJson(info->bounds), 0);
}

int runCheck(WindowSystem& system, Channel& channel) {
  return answer(channel, Json{{"allowed", system.listenAccess()}}, 0);
}

}  // namespace quorvane::input
