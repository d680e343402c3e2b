#include "desktop/wayland/sway_wallpaper.h"

#include <map>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/wayland/sway_ipc.h"

#include "desktop/gsettings/gsettings_wallpaper.h"

namespace quorvane::desktop::wayland {

namespace {

// Splits a line as sway does: blanks separate, quotes group, a line whose
// first word starts with `#` is a comment (colours start with one too).
std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || (out.empty() && line[i] == '#')) break;
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      char c = line[i++];
      if (c == '"' || c == '\'') {
        while (i < line.size() && line[i] != c) word += line[i++];
        if (i < line.size()) ++i;
      } else {
        word += c;
      }
    }
    out.push_back(std::move(word));
  }
  return out;
}

std::string expand(std::string word, const std::map<std::string, std::string>& variables) {
  // Longer names first, so that $wallpaper is not read as $wall + "paper".
  for (auto it = variables.rbegin(); it != variables.rend(); ++it) {
    for (std::size_t at = word.find(it->first); at != std::string::npos; at = word.find(it->first, at + it->second.size())) {
      word.replace(at, it->first.size(), it->second);
    }
  }
  return word;
}

bool isBackgroundCommand(std::string_view word) { return word == "bg" || word == "background"; }

// The background named by the words after `bg`, if they name one.
std::optional<SwayBackground> backgroundFrom(const std::vector<std::string>& args, std::string_view home) {
  if (args.size() >= 2 && args[1] == "solid_color") return SwayBackground{"", "solid_color", args[0]};
  if (args.empty()) return std::nullopt;
  SwayBackground b;
  b.file = args[0];
  if (b.file.rfind("~/", 0) == 0) b.file = std::string(home) + b.file.substr(1);
  b.mode = args.size() >= 2 ? args[1] : "stretch";  // sway's default mode
  if (args.size() >= 3) b.color = args[2];
  return b;
}

}  // namespace

std::optional<SwayBackground> swayBackground(std::string_view config, std::string_view outputName,
                                             std::string_view home) {
  std::map<std::string, std::string> variables;
  std::vector<std::vector<std::string>> blocks;  // the words that open each enclosing block
  std::optional<SwayBackground> named, anyOutput;
  std::size_t start = 0;
  while (start <= config.size()) {
    std::size_t end = config.find('\n', start);
    if (end == std::string_view::npos) end = config.size();
    std::vector<std::string> line = words(config.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.size() == 1 && line[0] == "}") {
      if (!blocks.empty()) blocks.pop_back();
      continue;
    }
    if (line.size() >= 3 && line[0] == "set" && line[1].size() > 1 && line[1][0] == '$') {
      std::string value = line[2];
      for (std::size_t i = 3; i < line.size(); ++i) value += " " + line[i];
      variables[line[1]] = expand(std::move(value), variables);
      continue;
    }
    std::vector<std::string> full;
    for (const auto& b : blocks) full.insert(full.end(), b.begin(), b.end());
    for (auto& w : line) full.push_back(expand(std::move(w), variables));
    if (full.back() == "{") {
      full.pop_back();
      blocks.push_back(std::vector<std::string>(full.end() - static_cast<std::ptrdiff_t>(line.size() - 1), full.end()));
      continue;
    }
    if (full.size() < 3 || full[0] != "output") continue;
    for (std::size_t i = 2; i < full.size(); ++i) {
      if (!isBackgroundCommand(full[i])) continue;
      auto b = backgroundFrom({full.begin() + static_cast<std::ptrdiff_t>(i) + 1, full.end()}, home);
      if (full[1] == outputName) named = b;
      if (full[1] == "*") anyOutput = b;
      break;
    }
  }
  return named ? named : anyOutput;
}

PlacementOptions swayPlacement(const SwayBackground& b) {
  struct Mode {
    std::string_view sway, desktop;
  };
  static constexpr Mode kModes[] = {{"fill", "zoom"},         {"fit", "scaled"},      {"stretch", "stretched"},
                                    {"center", "centered"},   {"tile", "wallpaper"},  {"solid_color", "stretched"}};
  std::string_view word = b.mode;
  for (const Mode& m : kModes) {
    if (m.sway == b.mode) word = m.desktop;
  }
  return gsettings::placementFor(word, b.color);
}

std::optional<std::string> swayConfigText(std::string_view reply) {
  auto json = nlohmann::json::parse(reply, nullptr, false);
  if (!json.is_object() || !json.contains("config") || !json["config"].is_string()) return std::nullopt;
  return json["config"].get<std::string>();
}

std::optional<std::string> readSwayConfig(quorvane::wayland::SwayIpc& ipc) {
  auto payload = ipc.request(quorvane::wayland::kSwayGetConfig);
  return payload ? swayConfigText(*payload) : std::nullopt;
}

}  // namespace quorvane::desktop::wayland
