#include "import/contact_name.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string_view>

namespace talvenor::import {
namespace {

TEST(ParseContactName, SplitsTheFilteredNameIntoFirstMiddleLast) {
  struct Case {
    std::string_view in;
    std::optional<std::string_view> filtered;
    std::string_view first, middle, last;
    bool skipped;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Cher", "Cher", "", "", "", true},
           {"", std::nullopt, "", "", "", true},
           {"Ann Lee", "Ann Lee", "Ann", "", "Lee", false},
           {"Lee, Ann", "Ann Lee", "Ann", "", "Lee", false},
           {"John Paul Smith Jones", "John Paul Smith Jones", "John", "Paul", "Smith", false},
           {"Smith, John, Jr.", "John Smith", "John", "", "Smith", false},
           {"Dr. Ann Lee", "Ann Lee", "Ann", "", "Lee", false},
           {"Gis\xC3\xA8le Martin", "Gis\xC3\xA8le Martin", "Gis\xC3\xA8le", "", "Martin", false},
           // No-break spaces are blanks before the name is filtered: the title
           // is recognised, and a leading one does not empty the first name.
           {"Dr\xC2\xA0John Smith", "John Smith", "John", "", "Smith", false},
           {"\xC2\xA0John Smith", "John Smith", "John", "", "Smith", false},
           {"Ann\xC2\xA0\xC2\xA0Lee", "Ann Lee", "Ann", "", "Lee", false},
       }) {
    SCOPED_TRACE(c.in);
    const ContactName name = ParseContactName(c.in);
    EXPECT_EQ(name.filtered, c.filtered);
    EXPECT_EQ(name.first, c.first);
    EXPECT_EQ(name.middle, c.middle);
    EXPECT_EQ(name.last, c.last);
    EXPECT_EQ(name.skipped, c.skipped);
  }
}

}  // namespace
}  // namespace talvenor::import
