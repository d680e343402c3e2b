#include "input/linux/keycodes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "input/key_names.h"

namespace quorvane::input {
namespace {

// The name a key position gets, or "" for a key that has none.
std::string nameOf(std::uint32_t evdevCode) {
  static const KeyNames names = buildNames();
  auto ansi = ansiKeyCodeOfEvdev(evdevCode);
  if (!ansi) return "";
  auto it = names.find(*ansi);
  return it == names.end() ? "" : it->second;
}

TEST(EvdevKeycodesTest, KeyPositionsGetTheirNames) {
  // evdev codes from linux/input-event-codes.h; modifiers, function keys, the
  // keypad, the ISO key and buttons have no name.
  const std::map<std::uint32_t, std::string> expected = {
      {0, ""},       {1, "Esc"},          {2, "1"},       {10, "9"},         {11, "0"},      {12, "Minus"},
      {16, "Q"},     {26, "BracketLeft"}, {28, "Enter"},  {29, ""},          {30, "A"},      {40, "Quote"},
      {41, "Backquote"}, {43, "Backslash"}, {44, "Z"},    {53, "Slash"},     {57, "Space"},  {59, ""},
      {86, ""},      {96, ""},            {103, "Up"},    {105, "Left"},     {106, "Right"}, {108, "Down"},
      {111, ""},     {125, ""},           {0x110, ""}};
  std::map<std::uint32_t, std::string> got;
  for (const auto& [code, name] : expected) got[code] = nameOf(code);
  EXPECT_EQ(got, expected);
}

TEST(EvdevKeycodesTest, EveryNamedKeyHasExactlyOnePosition) {
  std::map<std::string, int> positions;
  for (std::uint32_t code = 0; code < 0x300; ++code) {
    if (auto name = nameOf(code); !name.empty()) ++positions[name];
  }
  std::map<std::string, int> once;
  for (const auto& [ansi, name] : buildNames()) once[name] = 1;
  EXPECT_EQ(positions, once);
}

}  // namespace
}  // namespace quorvane::input
