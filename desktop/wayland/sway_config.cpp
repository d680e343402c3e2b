#include "desktop/wayland/sway_wallpaper.h"

#include <algorithm>
#include <map>
#include <vector>

#include <nlohmann/json.hpp>

namespace quorvane::desktop::wayland {

namespace {

// sway reads configurations of a few kilobytes; these bounds keep a hostile
// or broken one from costing more than milliseconds. Beyond any of them the
// configuration is not read at all.
constexpr std::size_t kMostConfigBytes = std::size_t{1} << 20;
constexpr std::size_t kMostVariables = 64;
constexpr std::size_t kLongestWord = 4096;  // after variables are replaced
constexpr std::size_t kMostBlockWords = 16;  // the words that open the enclosing blocks

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

// Variables by name ("$wallpaper"), the longest name first, as sway tries them.
struct LongerFirst {
  bool operator()(const std::string& a, const std::string& b) const {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  }
};
using Variables = std::map<std::string, std::string, LongerFirst>;

// Replaces variables as sway does: left to right, at each `$` the longest
// name that starts there (so $wallpaper is not read as $wall + "paper"); a
// value put in is not looked at again. nullopt when the result grows past
// kLongestWord.
std::optional<std::string> expand(std::string_view word, const Variables& variables) {
  std::string out;
  for (std::size_t i = 0; i < word.size();) {
    if (word[i] != '$') {
      out += word[i++];
    } else {
      auto named = std::find_if(variables.begin(), variables.end(),
                                [&](const auto& v) { return word.substr(i).starts_with(v.first); });
      out += named == variables.end() ? std::string_view("$") : std::string_view(named->second);
      i += named == variables.end() ? 1 : named->first.size();
    }
    if (out.size() > kLongestWord) return std::nullopt;
  }
  return out;
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
  if (config.size() > kMostConfigBytes) return std::nullopt;
  Variables variables;
  std::vector<std::string> opened;   // the words that open the enclosing blocks, outermost first
  std::vector<std::size_t> blocks;   // how many of them each block opened
  std::optional<SwayBackground> named, anyOutput;
  std::size_t start = 0;
  while (start <= config.size()) {
    std::size_t end = config.find('\n', start);
    if (end == std::string_view::npos) end = config.size();
    std::vector<std::string> line = words(config.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.size() == 1 && line[0] == "}") {
      if (!blocks.empty()) opened.resize(opened.size() - blocks.back());
      if (!blocks.empty()) blocks.pop_back();
      continue;
    }
    if (line.size() >= 3 && line[0] == "set" && line[1].size() > 1 && line[1][0] == '$') {
      std::string value = line[2];
      for (std::size_t i = 3; i < line.size(); ++i) value += " " + line[i];
      auto expanded = expand(value, variables);
      if (!expanded || (!variables.count(line[1]) && variables.size() == kMostVariables)) return std::nullopt;
      variables[line[1]] = std::move(*expanded);
      continue;
    }
    for (auto& w : line) {
      auto expanded = expand(w, variables);
      if (!expanded) return std::nullopt;
      w = std::move(*expanded);
    }
    if (line.back() == "{") {
      if (opened.size() + line.size() - 1 > kMostBlockWords) return std::nullopt;
      opened.insert(opened.end(), line.begin(), line.end() - 1);
      blocks.push_back(line.size() - 1);
      continue;
    }
    std::vector<std::string> full = opened;
    full.insert(full.end(), line.begin(), line.end());
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

std::optional<std::string> swayConfigText(std::string_view reply) {
  auto json = nlohmann::json::parse(reply, nullptr, false);
  if (!json.is_object() || !json.contains("config") || !json["config"].is_string()) return std::nullopt;
  return json["config"].get<std::string>();
}

}  // namespace quorvane::desktop::wayland
