#include "records/sqlite/sqlite_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <thread>

#include "records/target_schema.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

std::unique_ptr<SqliteDatabase> OpenOrFail(const std::string& path, SqliteOpen mode) {
  auto db = SqliteDatabase::Open(path, mode);
  EXPECT_TRUE(db.has_value()) << path << ": " << db.error().description;
  return db ? std::move(*db) : nullptr;
}

// A target with the schema, committed, and its path.
std::string NewTarget(std::string_view name) {
  const std::string path = testing::TempPath(name);
  auto db = OpenOrFail(path, SqliteOpen::kCreate);
  EXPECT_TRUE(CreateTargetSchema(*db, SqlDialect::kSqlite).has_value());
  return path;
}

// Rows another connection sees (only committed ones).
int CommittedRows(const std::string& path, std::string_view table) {
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  auto set = db->OpenRecordset("SELECT count(*) FROM " + std::string(table));
  return set ? int((*set)->Field(0)->number()) : -1;
}

TEST(SqliteDatabaseOpen, ReportsFilesItCannotUse) {
  const std::string missing = testing::TempPath("missing.db");
  const std::string junk = testing::TempPath("junk.db");
  std::ofstream(junk) << "this is no database file, only some text that is long enough\n";
  struct Case {
    std::string path;
    SqliteOpen mode;
    int number;
    std::string description;
  };
  for (const Case& c : std::initializer_list<Case>{
           {missing, SqliteOpen::kExisting, 3024, "Could not find file '" + missing + "'."},
           {"", SqliteOpen::kCreate, 3044, "'' is not a valid path."},
           {testing::TempPath("no-folder") + "/x.db", SqliteOpen::kCreate, 3044, ""},
           {junk, SqliteOpen::kExisting, 3343, "Unrecognized database format '" + junk + "'."},
       }) {
    SCOPED_TRACE(c.path);
    auto db = SqliteDatabase::Open(c.path, c.mode);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().number, c.number);
    if (!c.description.empty()) {
      EXPECT_EQ(db.error().description, c.description);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(missing)) << "kExisting never creates a file";
  EXPECT_NE(OpenOrFail(missing, SqliteOpen::kCreate), nullptr);
  EXPECT_TRUE(std::filesystem::exists(missing));
}

// The page size SQLite reports for a file.
int PageSizeOf(const std::string& path) {
  sqlite3* db = nullptr;
  int size = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      size = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close_v2(db);
  return size;
}

// A file the engine creates gets large pages; a file made elsewhere keeps the
// pages it has (changing them would rewrite the whole file).
TEST(SqliteDatabaseOpen, OnlyNewFilesGetLargePages) {
  EXPECT_EQ(PageSizeOf(NewTarget("large-pages.db")), 16384);

  const std::string made_elsewhere = testing::TempPath("small-pages.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(made_elsewhere.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db, "PRAGMA page_size=4096; CREATE TABLE Own (x)", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  {
    auto target = OpenOrFail(made_elsewhere, SqliteOpen::kExisting);
    ASSERT_TRUE(CreateTargetSchema(*target, SqlDialect::kSqlite).has_value());
    ASSERT_TRUE(target->Execute("INSERT INTO Companies (Company_Name) VALUES ('Acme')"));
  }
  EXPECT_EQ(PageSizeOf(made_elsewhere), 4096);
  EXPECT_EQ(CommittedRows(made_elsewhere, "Companies"), 1);
}

TEST(SqliteDatabaseTransactions, CommitAtLineBoundariesOnly) {
  const std::string path = NewTarget("lines.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  db->SetCommitPolicy({.lines = 3, .milliseconds = 0});
  for (int line = 1; line <= 7; ++line) {
    ASSERT_TRUE(db->Execute("INSERT INTO RollupC_Records (Rollup_Name,Company_Id) VALUES ('B'," +
                            std::to_string(line) + ")"));
    // Reads of the writing connection see its pending writes.
    auto own = db->OpenRecordset("SELECT count(*) FROM RollupC_Records");
    EXPECT_EQ((*own)->Field(0)->number(), line);
    ASSERT_TRUE(db->LineDone());
    SCOPED_TRACE(line);
    EXPECT_EQ(CommittedRows(path, "RollupC_Records"), line / 3 * 3);
  }
  ASSERT_TRUE(db->Flush());
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(CommittedRows(path, "RollupC_Records"), 7);
}

TEST(SqliteDatabaseTransactions, CommitsALineOnceTheTimeHasPassed) {
  const std::string path = NewTarget("time.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  db->SetCommitPolicy({.lines = 1000, .milliseconds = 50});
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('A')"));
  ASSERT_TRUE(db->LineDone());
  EXPECT_TRUE(db->InTransaction());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('B')"));
  ASSERT_TRUE(db->LineDone());
  EXPECT_FALSE(db->InTransaction());
  EXPECT_EQ(CommittedRows(path, "Rollup_Names"), 2);
}

TEST(SqliteDatabaseTransactions, AKilledRunLeavesWholeLinesOnly) {
  const std::string path = NewTarget("killed.db");
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    auto db = SqliteDatabase::Open(path, SqliteOpen::kExisting);
    if (!db) _exit(2);
    (*db)->SetCommitPolicy({.lines = 1, .milliseconds = 0});
    for (int line = 1; line <= 3; ++line) {
      for (int part = 0; part < 2; ++part) {
        const std::string key = std::to_string(line * 10 + part);
        if (!(*db)->Execute("INSERT INTO Rollup_Records (Rollup_Name,Candidate_Id) VALUES ('K'," +
                            key + ")")) {
          _exit(3);
        }
      }
      if (line < 3 && !(*db)->LineDone()) _exit(4);
    }
    _exit(0);  // killed in the middle of line 3: no LineDone, no Close
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CommittedRows(path, "Rollup_Records"), 4);
}

TEST(SqliteDatabaseTransactions, AFailingStatementUndoesOnlyItself) {
  const std::string path = NewTarget("partial.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('A')"));
  // Inserts B, then fails on the second A: the statement leaves no B behind.
  ASSERT_FALSE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('B'), ('A')"));
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('C')"));
  db->Close();  // commits
  EXPECT_EQ(CommittedRows(path, "Rollup_Names"), 2);
}

TEST(SqliteRecordset, SetFieldStoresWhatTheColumnHolds) {
  const std::string path = NewTarget("fields.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  struct Case {
    std::string_view table, field;
    Value in;
    std::optional<Value> stored;  // nothing: SetField fails with `error`
    int error = 0;
  };
  const std::string fifty(50, 'x');
  for (const Case& c : std::initializer_list<Case>{
           {"Companies", "Company_Name", Value::Text(fifty), Value::Text(fifty)},
           {"Companies", "Company_Name", Value::Text(fifty + "y"), std::nullopt, 3163},
           // Sizes count characters, not bytes.
           {"Companies", "State", Value::Text("ÄÖÜäöüßÀÉÈÊËÎÏÔŒÙÛŸ"),
            Value::Text("ÄÖÜäöüßÀÉÈÊËÎÏÔŒÙÛŸ")},
           {"Positions", "Date_Posted", Value::Text("12/8/2026"),
            Value::Text("2026-12-08 00:00:00")},
           {"Positions", "Date_Posted", Value::Text("12/8/2026 3:04:05 PM"),
            Value::Text("2026-12-08 15:04:05")},
           {"Positions", "Date_Posted", Value::Text("as soon as possible"), std::nullopt, 3421},
           {"Positions", "Date_Posted", Value::Number(46364.5), Value::Text("2026-12-08 12:00:00")},
           {"Positions", "Company_Id", Value::Text(" 42 "), Value::Number(42)},
           {"Positions", "Company_Id", Value::Text("ACME"), std::nullopt, 3421},
           {"Positions", "Contact_Name", Value::DateTime(46364.5),
            Value::Text("2026-12-08 12:00:00")},
           {"Positions", "No_Such_Field", Value::Text("x"), std::nullopt, 3265},
       }) {
    SCOPED_TRACE(std::string(c.table) + "." + std::string(c.field) + " <- " + c.in.ToText());
    auto set = db->OpenRecordset(c.table, SetKind::kTable);
    ASSERT_TRUE(set.has_value());
    ASSERT_TRUE((*set)->AddNew());
    const Value key = *(*set)->Field(0);
    auto ok = (*set)->SetField(c.field, c.in);
    if (!c.stored) {
      ASSERT_FALSE(ok);
      EXPECT_EQ(ok.error().number, c.error);
      continue;
    }
    ASSERT_TRUE(ok) << ok.error().description;
    ASSERT_TRUE((*set)->Update());
    auto row = db->OpenRecordset("SELECT " + std::string(c.field) + " FROM " +
                                 std::string(c.table) + " WHERE rowid = " + key.ToText());
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(*(*row)->Field(0), *c.stored);
  }
}

TEST(SqliteRecordset, AutoNumberKeysFollowTheTable) {
  const std::string path = NewTarget("keys.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  ASSERT_TRUE(db->Execute("INSERT INTO Companies (Company_Id, Company_Name) VALUES (41, 'x')"));
  auto set = db->OpenRecordset("SELECT * FROM Companies WHERE Company_Id IS NULL");
  ASSERT_TRUE((*set)->AddNew());
  EXPECT_EQ(*(*set)->Field("Company_Id"), Value::Number(42));
  ASSERT_TRUE((*set)->Update());
  // AUTOINCREMENT: a deleted highest key is never given again.
  ASSERT_TRUE(db->Execute("DELETE FROM Companies WHERE Company_Id = 42"));
  ASSERT_TRUE((*set)->AddNew());
  EXPECT_EQ(*(*set)->Field("Company_Id"), Value::Number(43));
  // A set on several tables cannot add rows.
  auto joined = db->OpenRecordset("SELECT * FROM Companies, Positions");
  ASSERT_TRUE(joined.has_value());
  EXPECT_FALSE((*joined)->AddNew());
}

// The next AutoNumber key is kept in memory during a write transaction; it
// must still be the key the table would give after whatever else happened.
TEST(SqliteRecordset, KeptAutoNumberKeysFollowEveryChangeOfTheTable) {
  const std::string path = NewTarget("kept-keys.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  db->SetCommitPolicy({.lines = 1000, .milliseconds = 0});
  ASSERT_TRUE(db->Execute("CREATE TABLE Plain (Id INTEGER PRIMARY KEY, Name TEXT)"));
  ASSERT_TRUE(db->Flush());
  auto companies = db->OpenRecordset("SELECT * FROM Companies WHERE Company_Id IS NULL");
  auto plain = db->OpenRecordset("SELECT * FROM Plain WHERE Id IS NULL");
  ASSERT_TRUE(companies && plain);
  auto add = [](Recordset& set, std::string_view key) {
    EXPECT_TRUE(set.AddNew());
    const Value given = set.Field(key).value_or(Value());
    EXPECT_TRUE(set.Update());
    return given;
  };
  EXPECT_EQ(add(**companies, "Company_Id"), Value::Number(1));
  // A row another statement stores moves the next key on.
  ASSERT_TRUE(db->Execute("INSERT INTO Companies (Company_Id, Company_Name) VALUES (10, 'x')"));
  EXPECT_EQ(add(**companies, "Company_Id"), Value::Number(11));
  // A failed statement takes nothing with it.
  ASSERT_FALSE(db->Execute("INSERT INTO Companies (Company_Id) VALUES (11)"));
  EXPECT_EQ(add(**companies, "Company_Id"), Value::Number(12));
  // Without AUTOINCREMENT a deleted highest key is given again, as the table
  // itself would.
  EXPECT_EQ(add(**plain, "Id"), Value::Number(1));
  ASSERT_TRUE(db->Execute("DELETE FROM Plain WHERE Id = 1"));
  EXPECT_EQ(add(**plain, "Id"), Value::Number(1));
  ASSERT_TRUE(db->InTransaction());
  // After the commit another connection may add rows.
  ASSERT_TRUE(db->Flush());
  {
    auto other = OpenOrFail(path, SqliteOpen::kExisting);
    ASSERT_TRUE(other->Execute("INSERT INTO Companies (Company_Id) VALUES (50)"));
  }
  EXPECT_EQ(add(**companies, "Company_Id"), Value::Number(51));
}

TEST(SqliteRecordset, OutlivingItsDatabaseFailsCleanly) {
  const std::string path = NewTarget("outlive.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('A')"));
  auto set = db->OpenRecordset("SELECT * FROM Rollup_Names");
  ASSERT_TRUE(set.has_value());
  db.reset();  // closes and commits
  EXPECT_FALSE((*set)->AddNew());
  EXPECT_FALSE((*set)->Field(0).has_value());
  EXPECT_EQ(CommittedRows(path, "Rollup_Names"), 1);
}

TEST(SqliteDatabase, NeverRunsAWriteToOpenASet) {
  const std::string path = NewTarget("kinds.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  auto insert = db->OpenRecordset("INSERT INTO Rollup_Names (Code) VALUES ('A')");
  ASSERT_FALSE(insert);
  EXPECT_EQ(insert.error().number, 3219);
  db->Close();
  EXPECT_EQ(CommittedRows(path, "Rollup_Names"), 0);
}

TEST(SqliteDatabase, EngineErrorsBecomeTheirDaoNumbers) {
  const std::string path = NewTarget("errors.db");
  auto db = OpenOrFail(path, SqliteOpen::kExisting);
  ASSERT_TRUE(db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('A')"));
  struct Case {
    std::string_view sql;
    int number;
    bool engine_text;  // SQLite's own message is in the provider list
  };
  for (const Case& c : std::initializer_list<Case>{
           {"INSERT INTO Rollup_Names (Code) VALUES ('A')", 3022, true},
           {"INSERT INTO Rollup_Names (Description) VALUES ('no code')", 3314, true},
           {"INSERT INTO Nowhere (Code) VALUES ('A')", 3078, true},
           {"INSERT INTO Rollup_Names (Code VALUES ('A')", 3075, true},
           {"UPDATE Rollup_Names SET No_Such_Column = 1", 3061, true},
           {"DELETE FROM Rollup_Names; DELETE FROM Companies", 3142, false},
           {" -- only a comment", 3129, false},
           {"SELECT * FROM Rollup_Names", 3065, false},
       }) {
    SCOPED_TRACE(c.sql);
    auto failed = db->Execute(c.sql);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().number, c.number) << failed.error().description;
    EXPECT_FALSE(failed.error().description.empty());
    EXPECT_EQ(!failed.error().providers.empty(), c.engine_text);
  }
  auto null_code = db->Execute("INSERT INTO Rollup_Names (Description) VALUES ('x')");
  EXPECT_NE(null_code.error().description.find("Rollup_Names.Code"), std::string::npos);
}

}  // namespace
}  // namespace talvenor::records
