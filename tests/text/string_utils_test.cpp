#include "text/string_utils.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor::text {
namespace {

TEST(ReplaceAll, ReplacesIgnoringAsciiCaseAndNeverRescansReplacements) {
  struct Case {
    std::string_view str, find, replace, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Abc abc", "ABC", "x", "x x"},
           {"aaa", "a", "aa", "aaaaaa"},   // the inserted text is not searched again
           {"a    b", "  ", " ", "a  b"},  // one call leaves two of four blanks
           {"a     b", "  ", " ", "a   b"},
           {"Dr. J. Smith.", ".", "", "Dr J Smith"},
           {"abc", "", "x", "abc"},  // empty find: unchanged
           {"abc", "abcd", "x", "abc"},
           {"", "a", "b", ""},
           {"abab", "ab", "ba", "baba"},
           {"xAx", "a", "", "xx"},
           {"x.a y.A", ".A", "!", "x! y!"},
           {"ab.", ".x", "!", "ab."},  // a candidate too close to the end
           {"Gis\xC3\xA8le", "\xC3\xA8", "e", "Gisele"},
           {"\xC3\x89t\xC3\xA9", "\xC3\xA9", "e", "\xC3\x89te"},  // É and é differ
       }) {
    SCOPED_TRACE(testing::PrintToString(c.str) + " / " + testing::PrintToString(c.find));
    EXPECT_EQ(ReplaceAll(c.str, c.find, c.replace), c.want);
  }
}

TEST(SplitText, GivesOneMorePieceThanDelimiters) {
  struct Case {
    std::string_view text, delimiter;
    std::vector<std::string> want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a,b,,c,", ",", {"a", "b", "", "c", ""}},
           {"", ",", {""}},
           {",", ",", {"", ""}},
           {"abc", ",", {"abc"}},
           {"a::b:::c", "::", {"a", "b", ":c"}},  // occurrences never overlap
           {"aXbxc", "x", {"aXb", "c"}},          // letter case counts
           {"Gis\xC3\xA8le,Mart\xC3\xADn", ",", {"Gis\xC3\xA8le", "Mart\xC3\xADn"}},
           {"a,b", "", {"a,b"}},  // empty delimiter: the whole text
       }) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " at " + testing::PrintToString(c.delimiter));
    EXPECT_EQ(SplitText(c.text, c.delimiter), c.want);

    std::vector<std::string_view> views = {"left over"};
    SplitText(c.text, c.delimiter, views);
    EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), c.want);
  }
}

TEST(StripTrailingBackslash, DropsOneTrailingSeparator) {
  struct Case {
    std::string_view path, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"/opt/talvenor/", "/opt/talvenor"},
           {"/opt/talvenor//", "/opt/talvenor/"},
           {"C:\\Talvenor\\", "C:\\Talvenor"},
           {"C:\\Talvenor\\\\", "C:\\Talvenor\\"},
           {"/opt/talvenor", "/opt/talvenor"},
           {"/", ""},
           {"", ""},
       }) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(StripTrailingBackslash(c.path), c.want);
  }
}

TEST(Trim, RemovesBlanksOnly) {
  struct Case {
    std::string_view text, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"  a b  ", "a b"},
           {"\ta\t ", "\ta\t"},
           {"   ", ""},
           {"", ""},
           {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"},  // the no-break space is no blank
       }) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(Trim(c.text), c.want);
  }
}

}  // namespace
}  // namespace talvenor::text
