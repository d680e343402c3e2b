#include "common/numbers.h"

#include <cmath>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct U32Case {
  const char* text;
  std::optional<std::uint32_t> value;
};

TEST(NumbersTest, ReadsUnsigned32BitDecimals) {
  const U32Case cases[] = {
      {"0", 0u},           {"7", 7u},          {"+7", 7u},
      {"-0", 0u},          {"+0", 0u},         {"0007", 7u},
      {"4294967295", 4294967295u},
      {"4294967296", std::nullopt},            {"99999999999999999999", std::nullopt},
      {"-1", std::nullopt},                    {"12a", std::nullopt},
      {" 12", std::nullopt},                   {"12 ", std::nullopt},
      {"", std::nullopt},                      {"+", std::nullopt},
      {"-", std::nullopt},                     {"+-1", std::nullopt},
      {"0x10", std::nullopt},                  {"1e3", std::nullopt},
      {"١٢", std::nullopt},  // Arabic-Indic digits are not ASCII digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseU32(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(NumbersTest, ReadsSigned32BitDecimals) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"30", 30},        {"-30", -30},        {"+60", 60},
      {"2147483647", 2147483647},              {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},            {"-2147483649", std::nullopt},
      {"3O", std::nullopt},                    {"", std::nullopt},
      {"30\n", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseI32(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(NumbersTest, ReadsWholeTextAsCLocaleDouble) {
  EXPECT_EQ(parseDouble("0.25"), 0.25);
  EXPECT_EQ(parseDouble("-0.5"), -0.5);
  EXPECT_EQ(parseDouble("+1"), 1.0);
  EXPECT_EQ(parseDouble("1e-1"), 0.1);
  EXPECT_EQ(parseDouble("0x1p-2"), 0.25);
  EXPECT_TRUE(std::isnan(*parseDouble("nan")));
  EXPECT_TRUE(std::isnan(*parseDouble("NaN")));
  EXPECT_TRUE(std::isinf(*parseDouble("inf")));
  EXPECT_TRUE(std::isinf(*parseDouble("-infinity")));
  EXPECT_TRUE(std::isinf(*parseDouble("1e999")));
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
