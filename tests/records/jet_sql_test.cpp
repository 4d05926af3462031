#include "records/sqlite/jet_sql.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/sqlite/sqlite_database.h"
#include "records/target_schema.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

TEST(TranslateJetSql, TranslatesTheJetFormsOutsideLiterals) {
  struct Case {
    std::string_view jet, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR*' ORDER BY Code DESC",
            "SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR%' ORDER BY Code DESC"},
           {"SELECT a FROM t WHERE a NOT like 'A?C*'", "SELECT a FROM t WHERE a NOT like 'A_C%'"},
           // Jet reads % and _ as themselves; [*] is a literal asterisk.
           {"SELECT a FROM t WHERE a LIKE '5%_[*]*'",
            "SELECT a FROM t WHERE a LIKE '5\\%\\_*%' ESCAPE '\\'"},
           {"SELECT a FROM t WHERE a LIKE b", "SELECT a FROM t WHERE a LIKE b"},
           {"INSERT INTO Scripts (Script_Id) VALUES ({guid "
            "{0A1B2C3D-0000-1111-2222-333344445555}})",
            "INSERT INTO Scripts (Script_Id) VALUES ('{0A1B2C3D-0000-1111-2222-333344445555}')"},
           {"VALUES ({ GUID {ab-12} })", "VALUES ('{ab-12}')"},
           {"SELECT TOP 1 Date()+Time() AS RDate FROM Candidates",
            "SELECT datetime('now','localtime') AS RDate FROM Candidates LIMIT 1"},
           {"SELECT Date(), Time (), now()",
            "SELECT date('now','localtime'), time('now','localtime'), "
            "datetime('now','localtime')"},
           {"SELECT date('now')", "SELECT date('now')"},  // SQLite's own function
           {"SELECT DISTINCT TOP 5 City FROM Positions ORDER BY City;",
            "SELECT DISTINCT City FROM Positions ORDER BY City LIMIT 5;"},
           {"SELECT a FROM t WHERE a IN (SELECT TOP 2 b FROM u ORDER BY b) -- note",
            "SELECT a FROM t WHERE a IN (SELECT b FROM u ORDER BY b LIMIT 2) -- note"},
           // Nothing inside literals, quoted or bracketed names or comments changes.
           {"INSERT INTO t (a) VALUES ('{guid {1}}')", "INSERT INTO t (a) VALUES ('{guid {1}}')"},
           {"INSERT INTO t (a) VALUES ('Date()+Time()')",
            "INSERT INTO t (a) VALUES ('Date()+Time()')"},
           {"SELECT [Top 1 Date()] FROM t WHERE b = 'a*b' -- LIKE 'x*'",
            "SELECT [Top 1 Date()] FROM t WHERE b = 'a*b' -- LIKE 'x*'"},
           {"SELECT \"Date()\" FROM t /* {guid {1}} */",
            "SELECT \"Date()\" FROM t /* {guid {1}} */"},
           {"SELECT a FROM t WHERE b = 'it''s ; -- not a comment'",
            "SELECT a FROM t WHERE b = 'it''s ; -- not a comment'"},
       }) {
    SCOPED_TRACE(c.jet);
    EXPECT_EQ(TranslateJetSql(c.jet, /*lift_literals=*/false).text, c.want);
  }
}

TEST(TranslateJetSql, LiftsLiteralsThatAreValuesOnly) {
  using P = std::vector<SqlParam>;
  struct Case {
    std::string_view jet, want;
    P params;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT Company_Id FROM Companies WHERE Company_Name='O''Brien' AND Phone='(8)'",
            "SELECT Company_Id FROM Companies WHERE Company_Name=? AND Phone=?",
            P{std::string("O'Brien"), std::string("(8)")}},
           {"UPDATE Companies SET Last_Activity='12/8/2026 3:04:05 PM' WHERE "
            "Company_Id=4636462783123",
            "UPDATE Companies SET Last_Activity=? WHERE Company_Id=?",
            P{std::string("2026-12-08 15:04:05"), std::int64_t{4636462783123}}},
           {"SELECT a FROM t WHERE b = -1.5e3", "SELECT a FROM t WHERE b = -?", P{1.5e3}},
           {"SELECT a FROM t WHERE b LIKE 'CAR*'", "SELECT a FROM t WHERE b LIKE ?",
            P{std::string("CAR%")}},
           // Column positions, type sizes and column names stay as written.
           {"SELECT a, b FROM t ORDER BY 2, 1", "SELECT a, b FROM t ORDER BY 2, 1", P{}},
           {"SELECT a, count(*) FROM t GROUP BY 1 HAVING count(*) > 2 ORDER BY 1 LIMIT 3",
            "SELECT a, count(*) FROM t GROUP BY 1 HAVING count(*) > ? ORDER BY 1 LIMIT ?",
            P{std::int64_t{2}, std::int64_t{3}}},
           {"SELECT CAST(a AS VARCHAR(10)) FROM t WHERE b = 7",
            "SELECT CAST(a AS VARCHAR(10)) FROM t WHERE b = ?", P{std::int64_t{7}}},
           {"SELECT a AS 'Name' FROM t", "SELECT a AS 'Name' FROM t", P{}},
           {"SELECT TOP 3 a FROM t", "SELECT a FROM t LIMIT 3", P{}},
           // Past int64 SQLite reads a REAL; the literal keeps that meaning.
           {"SELECT a FROM t WHERE b = 99999999999999999999",
            "SELECT a FROM t WHERE b = 99999999999999999999", P{}},
           // Definitions and statements with their own parameters are left alone.
           {"CREATE TABLE t (a VARCHAR(5) DEFAULT 'x')",
            "CREATE TABLE t (a VARCHAR(5) DEFAULT 'x')", P{}},
           {"SELECT a FROM t WHERE b = ? AND c = 'x'", "SELECT a FROM t WHERE b = ? AND c = 'x'",
            P{}},
           // An unterminated literal is left for SQLite to refuse, never lifted.
           {"SELECT a FROM t WHERE b = 'open", "SELECT a FROM t WHERE b = 'open", P{}},
       }) {
    SCOPED_TRACE(c.jet);
    const SqliteStatement s = TranslateJetSql(c.jet);
    EXPECT_EQ(s.text, c.want);
    EXPECT_EQ(s.params, c.params);
  }
}

// SQLite keeps a date as the text it is given: a date assigned to a date
// column is written in the ISO form the other rows hold, so that sorting and
// comparing by it give the dates' order. Other columns keep their text.
TEST(TranslateJetSql, WritesDatesOfDateColumnsInIsoForm) {
  struct Case {
    std::string_view jet;
    std::string want;  // the first parameter
  };
  for (const Case& c : std::initializer_list<Case>{
           {"UPDATE Companies SET Last_Activity='12/8/2026 11:34:38 PM' WHERE Company_Id=1",
            "2026-12-08 23:34:38"},
           {"UPDATE Candidates SET Last_Activity = '12/8/2026' WHERE Candidate_Id=1",
            "2026-12-08 00:00:00"},
           {"UPDATE Positions SET [Last_Activity]='1/2/2027 12:00:01 AM' WHERE Job_Id=1",
            "2027-01-02 00:00:01"},
           {"UPDATE Positions SET last_activity='Dec 8, 2026' WHERE Job_Id=1",
            "2026-12-08 00:00:00"},
           {"UPDATE Positions SET Date_Posted='08-DEC-26' WHERE Job_Id=1", "2026-12-08 00:00:00"},
           // A text that names no date is left for the engine as it came.
           {"UPDATE Positions SET Last_Activity='2/31/2026' WHERE Job_Id=1", "2/31/2026"},
           {"UPDATE Positions SET Last_Activity='soon' WHERE Job_Id=1", "soon"},
           // Not a date column, or not assigned: the text stays.
           {"UPDATE Companies SET Company_Name='12/8/2026' WHERE Company_Id=1", "12/8/2026"},
           {"SELECT Job_Id FROM Positions WHERE Job_Title='12/8/2026'", "12/8/2026"},
           {"UPDATE Companies SET Memo='Last_Activity=''12/8/2026''' WHERE Company_Id=1",
            "Last_Activity='12/8/2026'"},
       }) {
    SCOPED_TRACE(c.jet);
    for (const SqliteStatement& s :
         {TranslateJetSql(c.jet), internal::TranslateJetSqlUncached(c.jet)}) {
      ASSERT_FALSE(s.params.empty());
      EXPECT_EQ(s.params.front(), SqlParam{c.want});
    }
  }
  // Without lifting, the rewritten literal is written into the text.
  EXPECT_EQ(TranslateJetSql("UPDATE t SET Last_Activity='12/8/2026 3:04:05 PM'", false).text,
            "UPDATE t SET Last_Activity='2026-12-08 15:04:05'");
}

TEST(TranslateJetSql, TellsSeveralStatementsFromOne) {
  struct Case {
    std::string_view sql;
    bool several;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"DELETE FROM t; DROP TABLE t", true},
           {"SELECT 1;", false},
           {"SELECT 1; -- done", false},
           {"SELECT ';DROP TABLE t'", false},
           {"SELECT [a;b] FROM t", false},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(TranslateJetSql(c.sql).several_statements, c.several);
  }
}

void ExpectSameStatement(const SqliteStatement& got, const SqliteStatement& want) {
  EXPECT_EQ(got.text, want.text);
  EXPECT_EQ(got.params, want.params);
  EXPECT_EQ(got.lifted, want.lifted);
  EXPECT_EQ(got.several_statements, want.several_statements);
}

// Two statements of one shape, translated one after the other in both
// orders: each must come out as its full translation. `reused` says whether
// the second is translated from the first one's recipe.
TEST(TranslateJetSql, StatementsOfOneShapeGiveTheirFullTranslation) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view a, b;
    bool reused;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT Candidate_Id FROM Candidates WHERE First_Name='Ann' AND Last_Name='O''Neil' "
            "AND (Title='' OR Title IS NULL) AND Work_Phone='(555) 123-4567'",
            "SELECT Candidate_Id FROM Candidates WHERE First_Name='Bob' AND Last_Name='Smith' "
            "AND (Title='Dr' OR Title IS NULL) AND Work_Phone='(___) ___-____'",
            true},
           {"INSERT INTO Rollup_Records (Rollup_Name,Candidate_Id) VALUES ('CAR.0001',12345)",
            "INSERT INTO Rollup_Records (Rollup_Name,Candidate_Id) VALUES ('x'';--',4636462783123)",
            true},
           {"INSERT INTO Scripts (Script_Id,Description,Job_Id,Script_Type) VALUES "
            "({guid {0F3A0000-1111-2222-3333-444455556666}},'a@b.c',77,'USERNAME')",
            "INSERT INTO Scripts (Script_Id,Description,Job_Id,Script_Type) VALUES "
            "({ GUID {ab-12} },'o''hara@b.c',1,'{guid {1}}')",
            true},
           // Numbers of every form; those SQLite would not read as bound stay written.
           {"SELECT a FROM t WHERE b = 5 AND c = .5", "SELECT a FROM t WHERE b = 1e5 AND c = 7",
            true},
           {"SELECT a FROM t WHERE b = -1.5e3", "SELECT a FROM t WHERE b = -2", true},
           {"SELECT a FROM t WHERE b = 5", "SELECT a FROM t WHERE b = 0x1F", false},
           {"SELECT a FROM t WHERE b = 5", "SELECT a FROM t WHERE b = 99999999999999999999", false},
           {"SELECT a FROM t WHERE x1 = 2 AND y = 3abc",
            "SELECT a FROM t WHERE x1 = 4 AND y = 3abc", true},
           // A literal of another kind makes another shape.
           {"SELECT a FROM t WHERE b = 5", "SELECT a FROM t WHERE b = '5'", false},
           {"SELECT a FROM t WHERE b = '5'", "SELECT a FROM t WHERE b = {guid {5}}", false},
           // LIKE patterns depend on their value, with or without wildcards or escapes.
           {"SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR.0001'",
            "SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR*'", false},
           {"SELECT a FROM t WHERE b LIKE 'abc'", "SELECT a FROM t WHERE b LIKE '5%_[*]'", false},
           // Literals written as they are: TOP n, column positions, names, type sizes.
           {"SELECT TOP 1 Date()+Time() AS RDate FROM Candidates",
            "SELECT TOP 25 Date()+Time() AS RDate FROM Candidates", true},
           {"SELECT TOP 5 a FROM t WHERE b = 'x'  -- end",
            "SELECT TOP 50 a FROM t WHERE b = 'yz'  -- end", true},
           {"SELECT a FROM t WHERE a IN (SELECT TOP 2 b FROM u WHERE c = 1 ORDER BY b) AND d = 'q'",
            "SELECT a FROM t WHERE a IN (SELECT TOP 300 b FROM u WHERE c = 2 ORDER BY b) AND d = "
            "''",
            true},
           {"SELECT a, count(*) FROM t GROUP BY 1 HAVING count(*) > 2 ORDER BY 1",
            "SELECT a, count(*) FROM t GROUP BY 2 HAVING count(*) > 30 ORDER BY 12", true},
           {"SELECT a AS 'Name', b FROM t WHERE b = 'x'",
            "SELECT a AS 'It''s', b FROM t WHERE b = 'y'", true},
           {"SELECT CAST(a AS VARCHAR(10)) FROM t WHERE b = 7",
            "SELECT CAST(a AS VARCHAR(255)) FROM t WHERE b = 8", true},
           {"CREATE TABLE t (a VARCHAR(5) DEFAULT 'x')",
            "CREATE TABLE t (a VARCHAR(9) DEFAULT 'y''')", true},
           {"CREATE TABLE t (a TEXT DEFAULT {guid {1-2}})",
            "CREATE TABLE t (a TEXT DEFAULT {guid {3}})", false},
           {"SELECT a FROM t WHERE b = ? AND c = 'x' AND d = 1",
            "SELECT a FROM t WHERE b = ? AND c = 'yy' AND d = 22", true},
           // Quotes in comments and names, statements after a ";", a broken literal.
           {"SELECT a FROM t WHERE b = 'x' -- it's 5", "SELECT a FROM t WHERE b = 'y' -- it's 5",
            true},
           {"SELECT [it's], \"q'1\" FROM t /* '2 */ WHERE [b'] = 'x'",
            "SELECT [it's], \"q'1\" FROM t /* '2 */ WHERE [b'] = 'yy'", true},
           {"DELETE FROM t WHERE a = 1; DELETE FROM u WHERE b = 'x'",
            "DELETE FROM t WHERE a = 22; DELETE FROM u WHERE b = ';'", true},
           {"SELECT a FROM t WHERE b = 5 AND c = 'open",
            "SELECT a FROM t WHERE b = 6 AND c = 'open", true},
           {"SELECT a FROM t WHERE b = 'Date()+Time()'", "SELECT a FROM t WHERE b = 'x'", true},
           // A date column's literal is rewritten by its value, the same either way.
           {"UPDATE Positions SET Last_Activity='12/8/2026 3:04:05 PM' WHERE Job_Id=5",
            "UPDATE Positions SET Last_Activity='1/1/2027' WHERE Job_Id=6", true},
           {"UPDATE Positions SET Last_Activity='12/8/2026' WHERE Job_Id=5",
            "UPDATE Positions SET Last_Activity='2/31/2026' WHERE Job_Id=6", true},
           {"SELECT a FROM t WHERE b = 1 \0 AND c = 2"sv,
            "SELECT a FROM t WHERE b = 3 \0 AND c = 4"sv, false},
       }) {
    SCOPED_TRACE(std::string(c.a) + "  |  " + std::string(c.b));
    for (const auto& [first, second] : {std::pair(c.a, c.b), std::pair(c.b, c.a)}) {
      internal::ForgetShapes();
      ExpectSameStatement(TranslateJetSql(first), internal::TranslateJetSqlUncached(first));
      const size_t hits = internal::ShapeCacheStats().hits;
      ExpectSameStatement(TranslateJetSql(second), internal::TranslateJetSqlUncached(second));
      EXPECT_EQ(internal::ShapeCacheStats().hits - hits, c.reused ? 1u : 0u) << second;
      // The shape stays right after a statement it could not serve.
      ExpectSameStatement(TranslateJetSql(first), internal::TranslateJetSqlUncached(first));
    }
  }
}

TEST(TranslateJetSql, RemembersABoundedNumberOfShapes) {
  internal::ForgetShapes();
  for (int i = 0; i < 300; ++i) {
    const std::string sql =
        "SELECT c" + std::to_string(i) + " FROM t WHERE b = " + std::to_string(i);
    ExpectSameStatement(TranslateJetSql(sql), internal::TranslateJetSqlUncached(sql));
  }
  EXPECT_LE(internal::ShapeCacheStats().shapes, 256u);
  EXPECT_EQ(internal::ShapeCacheStats().misses, 300u);
}

TEST(SingleTableOf, FindsTheOneTableASetCanAddTo) {
  struct Case {
    std::string_view sql;
    std::optional<std::string> table;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Companies"},
           {"SELECT * FROM [Database Records] ORDER BY [Database Id]", "Database Records"},
           {"SELECT Code FROM Rollup_Names", "Rollup_Names"},
           {"SELECT * FROM a, b WHERE a.x = b.x", std::nullopt},
           {"SELECT * FROM a JOIN b ON a.x = b.x", std::nullopt},
           {"SELECT * FROM (SELECT 1)", std::nullopt},
           {"SELECT City FROM Positions GROUP BY City", std::nullopt},
           {"DELETE FROM Companies", std::nullopt},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SingleTableOf(c.sql), c.table);
  }
}

class JetSqlOnSqlite : public ::testing::Test {
 protected:
  void SetUp() override {
    auto db = SqliteDatabase::Open(testing::TempPath("jet.db"), SqliteOpen::kCreate);
    ASSERT_TRUE(db.has_value());
    db_ = std::move(*db);
    ASSERT_TRUE(CreateTargetSchema(*db_, SqlDialect::kSqlite).has_value());
  }
  Value First(std::string_view sql) {
    auto set = db_->OpenRecordset(sql);
    EXPECT_TRUE(set.has_value()) << sql;
    if (!set || (*set)->Eof()) return Value::Empty();
    return (*set)->Field(0).value_or(Value::Empty());
  }
  std::unique_ptr<SqliteDatabase> db_;
};

TEST_F(JetSqlOnSqlite, HostileLiteralsReachTheTableVerbatim) {
  int job = 0;
  for (std::string_view value :
       {"{guid {1}}", "Date()", "Date()+Time()", "SELECT TOP 1", "a*b", "a?b", "--", ";", "/*",
        "x'); DROP TABLE Companies; --", "[x]", "\"q\"", "?", "%_", "'", ""}) {
    SCOPED_TRACE(value);
    std::string quoted;
    for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    const std::string id = std::to_string(++job);
    ASSERT_TRUE(db_->Execute("INSERT INTO Scripts (Script_Id,Description,Job_Id) VALUES ('" + id +
                             "','" + quoted + "'," + id + ")"));
    EXPECT_EQ(First("SELECT Description FROM Scripts WHERE Job_Id=" + id),
              Value::Text(std::string(value)));
    EXPECT_EQ(First("SELECT Job_Id FROM Scripts WHERE Description='" + quoted + "'"),
              Value::Number(job));
  }
  EXPECT_TRUE(db_->OpenRecordset("SELECT * FROM Companies").has_value());
}

TEST_F(JetSqlOnSqlite, LikePatternsMatchAsJetReadsThem) {
  for (std::string_view code : {"CAR.0001", "CAR%0002", "CARGO.0007", "car.0003", "XCAR"}) {
    ASSERT_TRUE(
        db_->Execute("INSERT INTO Rollup_Names (Code) VALUES ('" + std::string(code) + "')"));
  }
  struct Case {
    std::string_view pattern;
    int matches;
  };
  for (const Case& c : std::initializer_list<Case>{{"CAR*", 4},
                                                   {"CAR.*", 2},
                                                   {"CAR%*", 1},
                                                   {"CAR?000?", 3},
                                                   {"*CAR", 1},
                                                   {"car.0001", 1}}) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(
        First("SELECT count(*) FROM Rollup_Names WHERE Code LIKE '" + std::string(c.pattern) + "'"),
        Value::Number(c.matches));
  }
  EXPECT_EQ(First("SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR*' ORDER BY Code DESC"),
            Value::Text("CARGO.0007"));
}

TEST_F(JetSqlOnSqlite, StatementsOfOneShapeShareOnePreparedStatement) {
  const auto before = db_->statement_cache_stats();
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code,Description,Shared) VALUES ('CAR." +
                             n + "','" + n + " o''clock'," + n + ")"));
  }
  const auto after = db_->statement_cache_stats();
  EXPECT_EQ(after.prepared - before.prepared, 1u);
  EXPECT_GE(after.reused - before.reused, 19u);
  // Bound values give what the literals would have given.
  EXPECT_EQ(First("SELECT Description FROM Rollup_Names WHERE Shared=7"), Value::Text("7 o'clock"));
  EXPECT_EQ(First("SELECT Shared FROM Rollup_Names WHERE Code='CAR.12'"), Value::Number(12));
  EXPECT_EQ(First("SELECT Code FROM Rollup_Names WHERE Shared=1.0"), Value::Text("CAR.1"));
}

TEST_F(JetSqlOnSqlite, ColumnPositionsStillOrder) {
  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code,Description) VALUES ('A','z')"));
  ASSERT_TRUE(db_->Execute("INSERT INTO Rollup_Names (Code,Description) VALUES ('B','y')"));
  EXPECT_EQ(First("SELECT Code, Description FROM Rollup_Names ORDER BY 2"), Value::Text("B"));
  EXPECT_EQ(First("SELECT Code, Description FROM Rollup_Names ORDER BY 1 DESC"), Value::Text("B"));
  EXPECT_EQ(First("SELECT Code, Description FROM Rollup_Names ORDER BY 1"), Value::Text("A"));
}

TEST_F(JetSqlOnSqlite, TheCacheStaysBounded) {
  for (int i = 0; i < 400; ++i) {
    ASSERT_TRUE(db_->OpenRecordset("SELECT 1 AS c" + std::to_string(i)).has_value());
  }
  EXPECT_LE(db_->statement_cache_stats().held, 256u);
  EXPECT_GE(db_->statement_cache_stats().prepared, 400u);
}

TEST_F(JetSqlOnSqlite, OneStatementAtATime) {
  auto several = db_->Execute("DELETE FROM Rollup_Names; DROP TABLE Companies");
  ASSERT_FALSE(several);
  EXPECT_TRUE(db_->OpenRecordset("SELECT * FROM Companies").has_value());
}

}  // namespace
}  // namespace talvenor::records
