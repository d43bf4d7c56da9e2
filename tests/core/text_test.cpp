#include "core/text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace text = vyx::text;

TEST(Text, TrimTakesOnlyTheGivenBytesAtBothEnds) {
  struct Case {
    std::string_view in, chars, want;
  };
  const Case cases[] = {
      {" \t a b \r\n", " \t\r\n", "a b"},
      {"\r\n", " \t\r\n", ""},
      {"", " ", ""},
      {"\r x \r", " \t", "\r x \r"},
      {"xx", "", "xx"},
  };
  for (const Case& c : cases) EXPECT_EQ(text::trim(c.in, c.chars), c.want) << c.in;
  EXPECT_EQ(text::trimBlanks("\n\t ok \r"), "ok");
}

TEST(Text, CaseFoldingIsAsciiOnly) {
  EXPECT_EQ(text::asciiLower('A'), 'a');
  EXPECT_EQ(text::asciiLower('Z'), 'z');
  EXPECT_EQ(text::asciiLower('@'), '@');
  EXPECT_EQ(text::asciiLower('['), '[');
  EXPECT_EQ(text::asciiLower(static_cast<char>(0xC4)), static_cast<char>(0xC4));
  struct Case {
    std::string_view hay, needle;
    bool want;
  };
  const Case cases[] = {
      {"Sign In", "sign in", true}, {"xxBEARER ", "bearer ", true}, {"abc", "", true},
      {"", "a", false},             {"ab", "abc", false},          {"aab", "AB", true},
      {"\xC4", "\xE4", false},      {"abcab", "cA", true},         {"abcab", "bb", false},
  };
  for (const Case& c : cases) EXPECT_EQ(text::containsAsciiFolded(c.hay, c.needle), c.want) << c.hay << " / " << c.needle;
}

TEST(Text, GroupedUnsignedTakesPlusDigitsAndInnerUnderscores) {
  struct Case {
    std::string_view in;
    std::optional<uint64_t> want;
  };
  const Case cases[] = {
      {"0", 0},
      {"+42", 42},
      {"1_000", 1000},
      {"18446744073709551615", UINT64_MAX},
      {"18_446_744_073_709_551_616", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"_1", std::nullopt},
      {"1_", std::nullopt},
      {"+_1", std::nullopt},
      {"-1", std::nullopt},
      {"1 ", std::nullopt},
      {"++1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(text::parseGroupedUnsigned(c.in), c.want) << c.in;
}
