#include "common/channel.h"

#include <cmath>

namespace quorvane {

std::string RecordingOutput::text() const {
  std::string all;
  for (const auto& w : writes) all += w;
  return all;
}

std::vector<std::string> RecordingOutput::lines() const {
  std::vector<std::string> result;
  std::string all = text();
  size_t start = 0;
  for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1) {
    result.push_back(all.substr(start, nl - start));
  }
  return result;
}

Json jsonNumber(double value) {
  // 2^53: beyond it not every integer is a double, so keep the double form.
  constexpr double kExactLimit = 9007199254740992.0;
  if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) <= kExactLimit) {
    return Json(static_cast<std::int64_t>(value));
  }
  return Json(value);
}

namespace {

// nlohmann writes NaN and infinity as null; the application's serialiser
// refuses them, and a silent null would be a wrong answer.
bool findNonFinite(const Json& value) {
  if (value.is_number_float()) return !std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& item : value) {
      if (findNonFinite(item)) return true;
    }
  }
  return false;
}

}  // namespace

Encoded encodeJson(const Json& value) {
  if (findNonFinite(value)) return {std::nullopt, "Invalid number value (NaN or infinity) in JSON write"};
  try {
    return {value.dump(-1, ' ', false, Json::error_handler_t::strict), {}};
  } catch (const Json::exception& e) {
    return {std::nullopt, e.what()};
  }
}

bool Channel::emit(const Json& message) {
  Encoded encoded = encodeJson(message);
  if (!encoded.bytes) {
    onEncodeFailure_(encoded.error);
    return false;
  }
  writeLine(*encoded.bytes);
  return true;
}

void Channel::writeLine(std::string_view encoded) {
  // Two writes, as the application's reader has always seen them: the object, then its line feed.
  out_.write(encoded);
  out_.write("\n");
}

Json errorMessage(std::string_view text) { return Json{{"type", "error"}, {"error", text}}; }

int reportExit(Channel& channel, const Exit& exit) {
  if (!exit.text.empty() && !channel.emit(errorMessage(exit.text))) return 1;
  return exit.status;
}

}  // namespace quorvane
