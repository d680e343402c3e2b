#include "common/numbers.h"

#include <cmath>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(NumbersTest, ReadsWholeTextAsCLocaleDecimals) {
  const std::optional<std::uint32_t> no;
  const struct { const char* text; std::optional<std::uint32_t> value; } u32[] = {
      {"0", 0u}, {"+7", 7u}, {"-0", 0u}, {"0007", 7u}, {"4294967295", 4294967295u}, {"4294967296", no},
      {"99999999999999999999", no}, {"-1", no}, {"12a", no}, {" 12", no}, {"12 ", no}, {"", no}, {"+", no},
      {"-", no}, {"+-1", no}, {"0x10", no}, {"1e3", no},
      {"١٢", no},  // Arabic-Indic digits are not ASCII digits
  };
  for (const auto& c : u32) EXPECT_EQ(parseU32(c.text), c.value) << '"' << c.text << '"';
  const struct { const char* text; std::optional<std::int32_t> value; } i32[] = {
      {"-30", -30}, {"+60", 60}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt}, {"-2147483649", std::nullopt}, {"3O", std::nullopt}, {"", std::nullopt},
      {"30\n", std::nullopt}};
  for (const auto& c : i32) EXPECT_EQ(parseI32(c.text), c.value) << '"' << c.text << '"';
  const struct { const char* text; double value; } doubles[] = {
      {"0.25", 0.25}, {"-0.5", -0.5}, {"+1", 1.0}, {"1e-1", 0.1}, {"0x1p-2", 0.25}, {"-infinity", -INFINITY},
      {"1e999", INFINITY}};
  for (const auto& c : doubles) EXPECT_EQ(parseDouble(c.text), c.value) << c.text;
  EXPECT_EQ(std::pair(std::isnan(parseDouble("nan").value_or(0)), std::isnan(parseDouble("NaN").value_or(0))),
            std::pair(true, true));
  for (const char* bad : {"", " 0.5", "0.5 ", "0,5", "0.5x", "x", ".", "--1"}) {
    EXPECT_EQ(parseDouble(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(parseDouble(std::string_view("0.5\0" "1", 5)), std::nullopt);
}

TEST(NumbersTest, IgnoresTheProcessLocale) {
  // A German locale would read "0,5"; the arguments are always C-locale text.
  const char* previous = setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale here";
  EXPECT_EQ(parseDouble("0.5"), 0.5);
  EXPECT_EQ(parseDouble("0,5"), std::nullopt);
  setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace quorvane
