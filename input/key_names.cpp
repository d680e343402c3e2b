#include "input/key_names.h"

namespace quorvane::input {

KeyNames buildNames() {
  return {
      {0, "A"},          {1, "S"},          {2, "D"},          {3, "F"},           {4, "H"},
      {5, "G"},          {6, "Z"},          {7, "X"},          {8, "C"},           {9, "V"},
      {11, "B"},         {12, "Q"},         {13, "W"},         {14, "E"},          {15, "R"},
      {16, "Y"},         {17, "T"},         {18, "1"},         {19, "2"},          {20, "3"},
      {21, "4"},         {22, "6"},         {23, "5"},         {24, "Equal"},      {25, "9"},
      {26, "7"},         {27, "Minus"},     {28, "8"},         {29, "0"},          {30, "BracketRight"},
      {31, "O"},         {32, "U"},         {33, "BracketLeft"}, {34, "I"},        {35, "P"},
      {36, "Enter"},     {37, "L"},         {38, "J"},         {39, "Quote"},      {40, "K"},
      {41, "Semicolon"}, {42, "Backslash"}, {43, "Comma"},     {44, "Slash"},      {45, "N"},
      {46, "M"},         {47, "Period"},    {48, "Tab"},       {49, "Space"},      {50, "Backquote"},
      {51, "Backspace"}, {53, "Esc"},       {123, "Left"},     {124, "Right"},     {125, "Down"},
      {126, "Up"},
  };
}

std::optional<std::string> shortcut(const KeyNames& names, std::int64_t keyCode, std::uint64_t flags) {
  if ((flags & (kFlagCommand | kFlagControl | kFlagOption)) == 0) return std::nullopt;
  auto it = names.find(keyCode);
  if (it == names.end()) return std::nullopt;
  std::string label;
  if (flags & kFlagCommand) label += "Cmd+";
  if (flags & kFlagControl) label += "Ctrl+";
  if (flags & kFlagOption) label += "Alt+";
  if (flags & kFlagShift) label += "Shift+";
  return label + it->second;
}

namespace {

Json orNull(const std::optional<std::string>& s) { return s ? Json(*s) : Json(nullptr); }

}  // namespace

Json keySelfTest(const KeyNames& names) {
  return Json{
      {"plain", orNull(shortcut(names, 0, 0))},
      {"shiftOnly", orNull(shortcut(names, 0, kFlagShift))},
      {"shortcut", orNull(shortcut(names, 25, kFlagCommand | kFlagShift))},
      {"unknown", orNull(shortcut(names, 9999, kFlagCommand))},
  };
}

}  // namespace quorvane::input
