#include "records/connection_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

namespace talvenor::records {
namespace {

TEST(IsOdbcConnectionText, TellsConnectionTextsFromFilePaths) {
  struct Case {
    std::string_view text;
    bool odbc;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC;DSN=Sales;UID=sa", true},
           {"odbc;", true},  // the prefix alone, in any letter case
           {"Driver={PostgreSQL Unicode};Server=db1;Database=jobs", true},
           {"DSN=Sales", true},
           {"dsn = Sales", true},  // blanks around the key
           {"FILEDSN=/etc/odbc/sales.dsn", true},
           {"Server=db1; driver={SQL Server};UID=x", true},  // a key after the first
           {"Server=db1;Database=jobs", false},              // no connection key
           {"ODBC", false},                                  // a bare file name
           {"ODBC/HQ*;4RhT", false},                         // encoded: see below
           {"/srv/odbc/jobs.db", false},                     // a folder named odbc
           {"/srv/ODBC;files/jobs.db", false},               // "ODBC;" not at the start
           {"/data/DSN=5/jobs.db", false},                   // "DSN" inside a path
           {"MYDSN=x", false},                               // a longer key
           {"target.db", false},
           {"", false},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsOdbcConnectionText(c.text), c.odbc);
  }
}

TEST(IsEncodedConnectionText, OnlyTheExactCapitals) {
  struct Case {
    std::string_view text;
    bool encoded;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC/HQ*;4RhT", true},
           {"ODBC/||QUJD", true},
           {"ODBC/", true},
           {"odbc/HQ", false},
           {"Odbc/||QUJD", false},
           {"ODBC;DSN=x", false},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsEncodedConnectionText(c.text), c.encoded);
  }
}

TEST(HidePasswords, DropsEveryPasswordValueAndNothingElse) {
  struct Case {
    std::string_view text, hidden;
    bool holds;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC;DSN=prod;UID=sa;PWD=s3cret", "ODBC;DSN=prod;UID=sa;PWD=", true},
           {"Driver=x;Password=a b;Server=y", "Driver=x;Password=;Server=y", true},
           {"DSN=p;pwd = {se;cret};UID=u", "DSN=p;pwd =;UID=u", true},  // braces hold a ";"
           {"DSN=p;PWD=;UID=u", "DSN=p;PWD=;UID=u", false},             // an empty password
           {"cannot connect with 'DSN=p;PWD=x'", "cannot connect with 'DSN=p;PWD=", true},
           {"DSN=p;MYPWD=x;PWDX=y", "DSN=p;MYPWD=x;PWDX=y", false},  // other keys
           {"/srv/pwd=1/jobs.db", "/srv/pwd=1/jobs.db", false},      // inside a path
           {"", "", false},
       }) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(HidePasswords(c.text), c.hidden);
    EXPECT_EQ(HoldsPassword(c.text), c.holds);
  }
}

}  // namespace
}  // namespace talvenor::records
