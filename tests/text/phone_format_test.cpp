#include "text/phone_format.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace talvenor::text {
namespace {

TEST(FormatPhone, BringsEveryInputIntoTheMask) {
  const std::string twenty_blanks(20, ' ');
  const std::string after_32 = "(555) 123-4567" + twenty_blanks + "ext 12";
  std::string accents;  // 31 two-byte characters, so the 32nd character is the "5"
  for (int i = 0; i < 31; ++i) accents += "\xC3\xA9";
  const std::string late_digit = accents + "5551234";

  struct Case {
    std::optional<std::string_view> in;
    std::string_view want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {std::nullopt, "(___) ___-____  Ex. _____"},
           {"", "(___) ___-____  Ex. _____"},
           {"n/a", "(___) ___-____  Ex. _____"},
           {"(555) 123-4567", "(555) 123-4567  Ex. _____"},
           {"1-800-555-1212", "(800) 555-1212  Ex. _____"},  // long-distance 1 dropped
           {"555-1234", "(___) 555-1234  Ex. _____"},        // seven digits: no area code
           {"1 555-1234", "(___) 555-1234  Ex. _____"},      // seven after the 1 is dropped
           {"555 123 4567 x 89", "(555) 123-4567  Ex. 89___"},
           {"555.123.4567 ext. 1234567", "(555) 123-4567  Ex. 12345"},
           {"12345", "(234) 5__-____  Ex. _____"},
           {"1234567", "(234) 567-____  Ex. _____"},  // the 1 goes first: six digits left
           {"+44 20 7946 0958", "(442) 079-4609  Ex. 58___"},
           {"11", "(1__) ___-____  Ex. _____"},  // only the first 1 is a prefix
           {"2125551234567890123", "(212) 555-1234  Ex. 56789"},
           {"\xEF\xBC\x95\xEF\xBC\x95\xEF\xBC\x95", "(___) ___-____  Ex. _____"},  // fullwidth
           {after_32, "(555) 123-4567  Ex. _____"},    // ext 12 stands past character 32
           {late_digit, "(5__) ___-____  Ex. _____"},  // 32 characters, not 32 bytes
       }) {
    SCOPED_TRACE(c.in ? testing::PrintToString(*c.in) : "Null");
    const std::string got = FormatPhone(c.in);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(Utf8Length(got), 25u);
  }
}

}  // namespace
}  // namespace talvenor::text
