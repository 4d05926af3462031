#include "import/split_export_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace talvenor::import {
namespace {

using Fields = std::vector<std::string>;

TEST(SplitExportLine, FollowsTheQuoteAndCommaRules) {
  struct Case {
    std::string_view in;
    Fields want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a,b,c", {"a", "b", "c"}},
           {R"("x","y")", {"x", "y"}},
           {R"("Smith, John",Sales)", {"Smith, John", "Sales"}},
           {R"(a,"",b)", {"a", "", "b"}},
           {R"(a,b"c,d)", {"a", "b\"c", "d"}},  // a bare field keeps its quote
           {R"("a""",b)", {"a\"\"", "b"}},      // only the quote before the comma ends it
           {R"(a,"b,c)", {"a", "b,c"}},         // never closed: commas are text
           {R"(a,b")", {"a", "b"}},             // a quote that ends the line is dropped
           {R"(a,"b"x",c)", {"a", "b\"x", "c"}},
           {"a,", {"a", ""}},
           {"", {""}},
           {",", {"", ""}},
           {"a|b,\"c|d\"", {"a", "b", "c", "d"}},  // every "|" divides, quoted or not
           {"\nx,\ny", {"x", "\ny"}},              // only field 0 loses line feeds
           {"x\r\n,y\r", {"x", "y\r"}},
           {"Gis\xC3\xA8le,\"\xE2\x82\xAC 5\"", {"Gis\xC3\xA8le", "\xE2\x82\xAC 5"}},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(SplitExportLine(c.in), c.want);
    EXPECT_EQ(CountExportFields(c.in), c.want.size());
  }
}

// Each removed enclosing quote used to leave a blank at the end of the line,
// so the last field (the fifth contact's e-mail) gained blanks it never had.
TEST(SplitExportLine, AddsNoBlanksToTheLastField) {
  struct Case {
    std::string_view in;
    Fields want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {R"("a","b","c@x.com")", {"a", "b", "c@x.com"}},
           {R"("a","b","c@x.com ")", {"a", "b", "c@x.com "}},  // a blank in the file stays
           {"a,b  ", {"a", "b  "}},
           {"\"a\",b ", {"a", "b "}},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.in));
    EXPECT_EQ(SplitExportLine(c.in), c.want);
  }

  std::string line;
  for (int i = 0; i < 38; ++i) line += "\"f" + std::to_string(i) + "\",";
  line += "\"last@example.com\"";
  const Fields fields = SplitExportLine(line);
  ASSERT_EQ(fields.size(), 39u);
  EXPECT_EQ(fields[37], "f37");
  EXPECT_EQ(fields[38], "last@example.com");
}

TEST(SplitExportLine, ReusedVectorKeepsNothingOfTheLineBefore) {
  Fields fields;
  std::string full;
  for (int i = 0; i < 39; ++i) full += "v" + std::to_string(i) + ",";
  full += "extra";
  SplitExportLine(full, fields);
  ASSERT_EQ(fields.size(), 40u);
  EXPECT_EQ(ExportField(fields, 38), "v38");

  SplitExportLine("x,,z", fields);
  EXPECT_EQ(fields, (Fields{"x", "", "z"}));
  EXPECT_EQ(ExportField(fields, 2), "z");
  EXPECT_EQ(ExportField(fields, 3), "");
  EXPECT_EQ(ExportField(fields, 38), "");
}

}  // namespace
}  // namespace talvenor::import
