#include "records/sql_quote.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

namespace talvenor::records {
namespace {

TEST(SqlQuote, DoublesEveryApostropheAndNothingElse) {
  struct Case {
    std::string_view in, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"O'Brien", "O''Brien"},
           {"''", "''''"},
           {"'", "''"},
           {"", ""},
           {"Acme'", "Acme''"},
           {"'Acme", "''Acme"},
           {"a'b'c", "a''b''c"},
           {"50% \"off\" * _x_ \\", "50% \"off\" * _x_ \\"},
           {"Gis\xC3\xA8le's", "Gis\xC3\xA8le''s"},
           {"x'; DROP TABLE Companies; --", "x''; DROP TABLE Companies; --"},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(SqlQuote(c.in), c.want);
  }
}

}  // namespace
}  // namespace talvenor::records
