#include "records/target_schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/sqlite/jet_sql.h"
#include "records/sqlite/sqlite_database.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

std::unique_ptr<SqliteDatabase> NewFile(const std::string& path) {
  auto db = SqliteDatabase::Open(path, SqliteOpen::kCreate);
  EXPECT_TRUE(db.has_value());
  return db ? std::move(*db) : nullptr;
}

TEST(CreateTargetSchema, CreatesEveryTableOnANewFile) {
  auto db = NewFile(testing::TempPath("new.db"));
  auto existing = CreateTargetSchema(*db, SqlDialect::kSqlite);
  ASSERT_TRUE(existing.has_value()) << existing.error().description;
  EXPECT_TRUE(existing->empty());
  for (const std::string& table : TargetTableNames()) {
    SCOPED_TRACE(table);
    EXPECT_TRUE(db->OpenRecordset(table, SetKind::kTable).has_value());
  }
  // Every key a database file numbers itself is readable at AddNew; the GUID
  // keys stay Null for the caller to fill.
  struct Case {
    std::string_view table, key;
    bool numbered;
  };
  for (const Case& c : std::initializer_list<Case>{{"Companies", "Company_Id", true},
                                                   {"Candidates", "Candidate_Id", true},
                                                   {"Positions", "Job_Id", true},
                                                   {"Company_Activity", "Activity_Id", true},
                                                   {"Candidate_Activity", "Activity_Id", true},
                                                   {"Position_Activities", "Activity_Id", false},
                                                   {"Scripts", "Script_Id", false}}) {
    SCOPED_TRACE(c.table);
    auto set = db->OpenRecordset(c.table, SetKind::kTable);
    ASSERT_TRUE(set.has_value());
    ASSERT_TRUE((*set)->AddNew());
    EXPECT_EQ((*set)->Field(c.key)->IsNumber(), c.numbered);
  }
}

// A record joins a batch list once: a second membership, whatever the letter
// case of the code, is a duplicate the import drops quietly.
TEST(CreateTargetSchema, BatchListsHoldEachRecordOnce) {
  auto db = NewFile(testing::TempPath("memberships.db"));
  ASSERT_TRUE(CreateTargetSchema(*db, SqlDialect::kSqlite).has_value());
  for (const auto& [table, key] :
       {std::pair{"RollupC_Records", "Company_Id"}, std::pair{"Rollup_Records", "Candidate_Id"},
        std::pair{"RollupP_Records", "Job_Id"}}) {
    SCOPED_TRACE(table);
    const std::string insert =
        std::string("INSERT INTO ") + table + " (Rollup_Name," + key + ") VALUES ";
    ASSERT_TRUE(db->Execute(insert + "('CAR.0001',7)"));
    ASSERT_TRUE(db->Execute(insert + "('CAR.0002',7)"));
    auto again = db->Execute(insert + "('car.0001',7)");
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().number, kDuplicateValue);
    auto count = db->OpenRecordset(std::string("SELECT COUNT(*) AS n FROM ") + table);
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ((*count)->Field("n")->number(), 2);
  }
}

TEST(CreateTargetSchema, LeavesExistingTablesAsTheyAre) {
  const std::string path = testing::TempPath("existing.db");
  auto db = NewFile(path);
  // A customer's own Companies table, smaller than ours and without indexes.
  ASSERT_TRUE(
      db->Execute("CREATE TABLE Companies (Company_Id INTEGER PRIMARY KEY, "
                  "Company_Name VARCHAR(40), Own_Column TEXT)"));
  ASSERT_TRUE(db->Execute("INSERT INTO Companies (Company_Name) VALUES ('Kept')"));
  auto first = CreateTargetSchema(*db, SqlDialect::kSqlite);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, std::vector<std::string>{"Companies"});
  auto second = CreateTargetSchema(*db, SqlDialect::kSqlite);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(*second, TargetTableNames());
  db->Close();

  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  auto count = [&](const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
    const int n = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return n;
  };
  EXPECT_EQ(count("SELECT count(*) FROM pragma_table_info('Companies')"), 3);
  EXPECT_EQ(count("SELECT count(*) FROM pragma_index_list('Companies')"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM Companies WHERE Company_Name = 'Kept'"), 1);
  sqlite3_close(raw);
}

// The plan SQLite makes for a statement as the engine runs it (literals
// lifted into parameters), all detail lines joined.
std::string QueryPlan(const std::string& path, std::string_view jet) {
  sqlite3* raw = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  const SqliteStatement s = TranslateJetSql(jet);
  const std::string sql = "EXPLAIN QUERY PLAN " + s.text;
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(raw, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
  for (size_t i = 0; i < s.params.size(); ++i) {
    if (const auto* text = std::get_if<std::string>(&s.params[i])) {
      sqlite3_bind_text(stmt, int(i) + 1, text->c_str(), -1, SQLITE_TRANSIENT);
    }
  }
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
    plan += "\n";
  }
  sqlite3_finalize(stmt);
  sqlite3_close(raw);
  return plan;
}

TEST(CreateTargetSchema, LookUpsUseTheIndexes) {
  const std::string path = testing::TempPath("plans.db");
  {
    auto db = NewFile(path);
    ASSERT_TRUE(CreateTargetSchema(*db, SqlDialect::kSqlite).has_value());
  }
  struct Case {
    std::string_view sql, index;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT Company_Id FROM Companies WHERE Company_Name='X' AND Phone='Y'",
            "Companies_Lookup (Company_Name=? AND Phone=?)"},
           {"SELECT Company_Id FROM Companies WHERE (Company_Name='' OR Company_Name IS NULL) "
            "AND Phone='Y'",
            "Companies_Lookup (Company_Name=? AND Phone=?)"},
           {"SELECT Candidate_Id FROM Candidates WHERE First_Name='A' AND Last_Name='B' AND "
            "Title='C' AND Work_Phone='D'",
            "Candidates_Lookup (First_Name=? AND Last_Name=? AND Title=? AND Work_Phone=?)"},
           {"SELECT Candidate_Id FROM Candidates WHERE First_Name='A' AND Last_Name='B' AND "
            "(Title='' OR Title IS NULL) AND Work_Phone='D'",
            "Candidates_Lookup (First_Name=? AND Last_Name=?"},
           {"SELECT Job_Id FROM Positions WHERE Job_Title='A' AND City='B'",
            "Positions_Lookup (Job_Title=? AND City=?)"},
           {"SELECT Job_Id FROM Positions WHERE Job_Title='A' AND (City='' OR City IS NULL)",
            "Positions_Lookup (Job_Title=?"},
           {"SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR*' ORDER BY Code DESC",
            "Rollup_Names_Code (Code>? AND Code<?)"},
       }) {
    SCOPED_TRACE(c.sql);
    const std::string plan = QueryPlan(path, c.sql);
    EXPECT_NE(plan.find(c.index), std::string::npos) << plan;
    EXPECT_EQ(plan.find("SCAN"), std::string::npos) << plan;
  }
}

TEST(SchemaStatements, PostgresSearchesCodesWithADeterministicCollation) {
  // PostgreSQL refuses LIKE on a nondeterministic collation, and batch codes
  // are searched with LIKE.
  const std::vector<std::string> script = SchemaStatements(SqlDialect::kPostgres);
  bool saw_rollup_names = false;
  for (const std::string& statement : script) {
    if (!statement.starts_with("CREATE TABLE Rollup_Names")) continue;
    saw_rollup_names = true;
    const size_t code = statement.find("Code ");
    ASSERT_NE(code, std::string::npos);
    const std::string line = statement.substr(code, statement.find('\n', code) - code);
    EXPECT_EQ(line.find("nocase"), std::string::npos) << line;
  }
  EXPECT_TRUE(saw_rollup_names);
}

}  // namespace
}  // namespace talvenor::records
