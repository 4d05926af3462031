#include "text/utf8.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace talvenor::text {
namespace {

TEST(Utf8, CountsAndCutsCharactersNotBytes) {
  struct Case { std::string_view in; size_t length; size_t cut; std::string_view prefix; };
  for (const Case& c : std::initializer_list<Case>{
           {"ACME", 4, 2, "AC"},
           {"Gis\xC3\xA8le", 6, 4, "Gis\xC3\xA8"},       // è is one character
           {"\xE2\x82\xAC" "5", 2, 1, "\xE2\x82\xAC"},   // € is one character
           {"a\xFF" "b", 3, 2, "a\xFF"},                // a stray byte counts as one
           {"", 0, 3, ""},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Utf8Length(c.in), c.length);
    EXPECT_EQ(Utf8Prefix(c.in, c.cut), c.prefix);
  }
}

TEST(Utf8, ValidityRejectsOverlongsSurrogatesAndTruncation) {
  struct Case { std::string_view in; bool valid; };
  for (const Case& c : std::initializer_list<Case>{
           {"plain", true}, {"\xC3\xA9", true}, {"\xF0\x9F\x98\x80", true},
           {"\xC0\xAF", false}, {"\xED\xA0\x80", false}, {"\xC3", false}, {"\xA0", false},
           {"caf\xE9", false}}) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(IsValidUtf8(c.in), c.valid);
  }
}

TEST(Utf8, DecodesOneCharacterAndEncodesItBack) {
  struct Case { std::string_view in; std::optional<char32_t> cp; size_t taken; };
  for (const Case& c : std::initializer_list<Case>{
           {"A", U'A', 1}, {"\xC3\xA9x", 0xE9, 2}, {"\xE2\x82\xAC", 0x20AC, 3},
           {"\xF0\x9F\x98\x80", 0x1F600, 4}, {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
           {"\xC0\xAF", std::nullopt, 1},           // overlong
           {"\xED\xA0\x80", std::nullopt, 1},      // surrogate
           {"\xF4\x90\x80\x80", std::nullopt, 1},  // beyond U+10FFFF
           {"\xE2\x82", std::nullopt, 1},           // cut short
           {"\x80", std::nullopt, 1}}) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    size_t i = 0;
    EXPECT_EQ(NextUtf8(c.in, i), c.cp);
    EXPECT_EQ(i, c.taken);
    if (c.cp) {
      std::string out;
      AppendUtf8(out, *c.cp);
      EXPECT_EQ(out, c.in.substr(0, c.taken));
    }
  }
}

TEST(Windows1252, RoundTripsTheCodePage) {
  EXPECT_EQ(Windows1252ToUtf8("caf\xE9\xA0\x80"), "caf\xC3\xA9\xC2\xA0\xE2\x82\xAC");
  std::string all;
  for (int c = 1; c < 256; ++c) all += char(c);
  bool lossless = false;
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all), &lossless), all);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(Utf8ToWindows1252("\xE4\xB8\xAD", &lossless), "?");  // 中 has no code
  EXPECT_FALSE(lossless);
}

}  // namespace
}  // namespace talvenor::text
