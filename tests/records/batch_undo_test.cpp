// Taking back an import run through its batch list, on real targets: two
// imports where the second adds people and positions to the first one's
// companies, then undone in either order, with faults injected part-way.

#include "records/batch_undo.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_run.h"
#include "records/clock.h"
#include "records/clock_cache.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

using testing::DataFile;
using testing::EngineKind;
using testing::ScalarNumber;
using testing::ScalarText;
using testing::TestTarget;

constexpr const char* kTables[] = {
    "Companies",        "Candidates",         "Positions",           "Scripts",
    "Company_Activity", "Candidate_Activity", "Position_Activities", "Rollup_Names",
    "RollupC_Records",  "Rollup_Records",     "RollupP_Records"};

// Every row of every table the import writes, as text, rows sorted.
using Snapshot = std::map<std::string, std::vector<std::string>>;

Snapshot SqliteSnapshot(const std::string& path) {
  Snapshot snapshot;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return snapshot;
  }
  for (const char* table : kTables) {
    std::vector<std::string>& rows = snapshot[table];
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = std::string("SELECT * FROM ") + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
      continue;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = sqlite3_column_text(stmt, i);
        row += text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
        row += '|';
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    std::sort(rows.begin(), rows.end());
  }
  sqlite3_close(db);
  return snapshot;
}

Snapshot PostgresSnapshot(Database& db) {
  Snapshot snapshot;
  for (const char* table : kTables) {
    // The whole table as one text, rows in a fixed order.
    snapshot[table] = {ScalarText(db, std::string("SELECT string_agg(CAST(t AS text), ' / ' "
                                                  "ORDER BY CAST(t AS text)) FROM ") +
                                          table + " t")};
  }
  return snapshot;
}

// Every reference between the tables: a row whose column names a record that
// is not there is dangling.
struct Reference {
  const char* table;
  const char* column;
  const char* to_table;
  const char* to_key;
};
constexpr Reference kReferences[] = {
    {"Candidates", "Company_Id", "Companies", "Company_Id"},
    {"Positions", "Company_Id", "Companies", "Company_Id"},
    {"Positions", "Candidate_Id", "Candidates", "Candidate_Id"},
    {"Scripts", "Job_Id", "Positions", "Job_Id"},
    {"Company_Activity", "Company_Id", "Companies", "Company_Id"},
    {"Candidate_Activity", "Candidate_Id", "Candidates", "Candidate_Id"},
    {"Position_Activities", "Position_Id", "Positions", "Job_Id"},
    {"RollupC_Records", "Company_Id", "Companies", "Company_Id"},
    {"Rollup_Records", "Candidate_Id", "Candidates", "Candidate_Id"},
    {"RollupP_Records", "Job_Id", "Positions", "Job_Id"},
    {"RollupP_Records", "Rollup_Name", "Rollup_Names", "Code"},
};

// Fails the n-th call that reaches the target (queries, statements, the
// commit), counting from 1; 0 fails none. Everything else is passed on.
class FailingDatabase final : public Database {
 public:
  FailingDatabase(Database& inner, int fail_at) : inner_(inner), fail_at_(fail_at) {}
  int calls() const { return calls_; }

  DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql, SetKind kind) override {
    if (Fails()) return std::unexpected(Fault());
    return inner_.OpenRecordset(sql, kind);
  }
  DbStatus Execute(std::string_view sql) override {
    if (Fails()) return std::unexpected(Fault());
    return inner_.Execute(sql);
  }
  DbResult<bool> LineDone() override { return inner_.LineDone(); }
  bool CanUndoLines() const override { return inner_.CanUndoLines(); }
  SqlDialect Dialect() const override { return inner_.Dialect(); }
  KeyForm Keys() const override { return inner_.Keys(); }
  DbStatus HoldAllWrites() override { return inner_.HoldAllWrites(); }
  DbStatus Flush() override {
    if (Fails()) return std::unexpected(Fault());
    return inner_.Flush();
  }
  DbStatus BeginTransaction() override { return inner_.BeginTransaction(); }
  DbStatus Rollback() override { return inner_.Rollback(); }
  void Close() override { inner_.Close(); }

 private:
  bool Fails() { return ++calls_ == fail_at_; }
  static DbError Fault() { return DbError{kOdbcCallFailed, "injected fault", {}}; }

  Database& inner_;
  int fail_at_;
  int calls_ = 0;
};

class BatchUndoTest : public ::testing::TestWithParam<EngineKind> {
 protected:
  void SetUp() override { TALVENOR_FRESH_TARGET(target_, GetParam()); }

  // Imports a file of tests/data/import; returns its batch code.
  std::string Import(std::string_view file) {
    testing::RecordingProgress progress;
    testing::RecordingOperator op;
    import::ImportServices services{op, clock_, cache_, progress};
    const import::ImportSummary summary =
        import::RunImport(import::ImportRequest{DataFile(file), target_->address()}, services);
    EXPECT_EQ(summary.outcome, import::RunOutcome::kCompleted) << summary.message;
    return summary.BatchCode;
  }

  UndoResult Undo(std::string_view code, bool dry_run = false, int fail_at = 0) {
    auto db = target_->Open();
    EXPECT_NE(db, nullptr);
    if (db == nullptr) return {};
    FailingDatabase failing(*db, fail_at);
    UndoResult result = UndoBatch(failing, code, dry_run);
    last_calls_ = failing.calls();
    db->Close();
    return result;
  }

  Snapshot Take() {
    if (GetParam() == EngineKind::kSqlite) return SqliteSnapshot(target_->path());
    auto db = target_->Open();
    Snapshot s = PostgresSnapshot(*db);
    db->Close();
    return s;
  }

  long long Number(std::string_view sql) {
    auto db = target_->Open();
    const long long n = ScalarNumber(*db, sql);
    db->Close();
    return n;
  }

  void ExpectNoDanglingReference() {
    auto db = target_->Open();
    for (const Reference& r : kReferences) {
      const std::string sql = std::string("SELECT COUNT(*) FROM ") + r.table + " x WHERE x." +
                              r.column + " IS NOT NULL AND NOT EXISTS (SELECT 1 FROM " +
                              r.to_table + " r WHERE r." + r.to_key + " = x." + r.column + ")";
      SCOPED_TRACE(sql);
      EXPECT_EQ(ScalarNumber(*db, sql), 0);
    }
    db->Close();
  }

  std::unique_ptr<TestTarget> target_;
  SystemClock clock_;
  ClockCache cache_;
  int last_calls_ = 0;
};

TEST_P(BatchUndoTest, UndoingTheLaterRunLeavesEveryTableAsAfterTheFirst) {
  ASSERT_EQ(Import("first_import.csv"), "CAR.0001");
  const Snapshot after_first = Take();
  ASSERT_EQ(Import("second_import.csv"), "CAR.0002");
  const long long highest_company = Number("SELECT MAX(Company_Id) FROM Companies");
  const long long highest_contact = Number("SELECT MAX(Candidate_Id) FROM Candidates");

  const UndoResult result = Undo("CAR.0002");
  ASSERT_EQ(result.outcome, UndoOutcome::kDone) << result.error.description;
  const UndoReport& r = result.report;
  // second_import.csv creates 1 company, 4 contact persons, 3 positions (2
  // with a script row), and an activity row and a membership for each.
  EXPECT_EQ(r.removed.companies, 1);
  EXPECT_EQ(r.removed.contacts, 4);
  EXPECT_EQ(r.removed.positions, 3);
  EXPECT_EQ(r.kept.total(), 0);
  EXPECT_EQ(r.activity_rows_removed, 8);
  EXPECT_EQ(r.script_rows_removed, 2);
  EXPECT_EQ(r.memberships_removed, 8);
  EXPECT_TRUE(r.list_removed);
  EXPECT_EQ(Take(), after_first);

  // No key comes back: the same file again gets keys above the removed ones.
  ASSERT_EQ(Import("second_import.csv"), "CAR.0002");
  EXPECT_GT(Number("SELECT MIN(Company_Id) FROM RollupC_Records WHERE Rollup_Name='CAR.0002'"),
            highest_company);
  EXPECT_GT(Number("SELECT MIN(Candidate_Id) FROM Rollup_Records WHERE Rollup_Name='CAR.0002'"),
            highest_contact);
}

TEST_P(BatchUndoTest, UndoingTheFirstRunKeepsWhatTheLaterOneNeeds) {
  ASSERT_EQ(Import("first_import.csv"), "CAR.0001");
  ASSERT_EQ(Import("second_import.csv"), "CAR.0002");

  const UndoResult result = Undo("CAR.0001");
  ASSERT_EQ(result.outcome, UndoOutcome::kDone) << result.error.description;
  ExpectNoDanglingReference();
  // The second run put contacts and positions at Acme Health (Boston) and
  // O'Brien Staffing, and made Ann Lee the contact of its ICU Nurse position.
  const UndoReport& r = result.report;
  ASSERT_EQ(r.kept_records.size(), 3u);
  const std::vector<std::string> keys = {
      "SELECT Company_Id FROM Companies WHERE Company_Name='Acme Health' AND City='Boston'",
      "SELECT Company_Id FROM Companies WHERE Company_Name='O''Brien Staffing'",
      "SELECT Candidate_Id FROM Candidates WHERE First_Name='Ann' AND Title='Director'"};
  for (size_t i = 0; i < keys.size(); ++i) {
    SCOPED_TRACE(keys[i]);
    EXPECT_EQ(static_cast<long long>(r.kept_records[i].key.number()), Number(keys[i]));
    EXPECT_NE(r.kept_records[i].reasons.at(0).find(", not of this batch list, refers to it"),
              std::string::npos);
  }
  // Kept records keep their memberships and the list row, so that a later
  // undo can take them.
  EXPECT_EQ(result.report.memberships_kept, 3);
  EXPECT_FALSE(result.report.list_removed);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM Rollup_Names WHERE Code='CAR.0001'"), 1);

  // Once the later run is gone too, a second undo of the first takes the rest.
  ASSERT_EQ(Undo("CAR.0002").outcome, UndoOutcome::kDone);
  const UndoResult again = Undo("CAR.0001");
  ASSERT_EQ(again.outcome, UndoOutcome::kDone);
  EXPECT_EQ(again.report.removed.total(), 3);
  EXPECT_TRUE(again.report.list_removed);
  for (const char* table : kTables) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Number(std::string("SELECT COUNT(*) FROM ") + table), 0);
  }
}

TEST_P(BatchUndoTest, KeepsARecordThatSomethingOutsideTheRunRefersTo) {
  ASSERT_EQ(Import("first_import.csv"), "CAR.0001");
  // $C is the Dover company, $K its contact Gisèle Martin, $P the Lab
  // Technician position whose contact she is.
  const std::map<std::string, long long> keys = {
      {"$C", Number("SELECT Company_Id FROM Companies WHERE Company_Name='12345678901234567890'")},
      {"$K", Number("SELECT Candidate_Id FROM Candidates WHERE Last_Name='Martin'")},
      {"$P", Number("SELECT Job_Id FROM Positions WHERE Job_Title='Lab Technician'")}};
  auto run = [&](std::vector<std::string> statements) {
    auto db = target_->Open();
    for (std::string& sql : statements) {
      for (const auto& [name, key] : keys) {
        for (size_t at; (at = sql.find(name)) != std::string::npos;) {
          sql.replace(at, name.size(), std::to_string(key));
        }
      }
      EXPECT_TRUE(db->Execute(sql)) << sql;
    }
    db->Close();
  };
  struct Case {
    std::vector<std::string> add, remove;  // the outside reference, and how it goes again
    std::string kept;                      // companies, contacts, positions kept
    std::string who, reason;               // the record referred to, part of its reasons
  };
  const std::vector<Case> cases = {
      {{"INSERT INTO Company_Activity (Activity_Id, Company_Id, Act_Type) VALUES (900000001, $C, "
        "'CALL')"},
       {"DELETE FROM Company_Activity WHERE Activity_Id = 900000001"},
       "1 0 0",
       "$C",
       "activity rows the import did not write"},
      // An activity row without a type is not the import's either.
      {{"INSERT INTO Candidate_Activity (Activity_Id, Candidate_Id) VALUES (900000002, $K)"},
       {"DELETE FROM Candidate_Activity WHERE Activity_Id = 900000002"},
       "1 1 0",
       "$K",
       "activity rows the import did not write"},
      {{"INSERT INTO Rollup_Names (Code) VALUES ('HOT.0001')",
        "INSERT INTO Rollup_Records (Rollup_Name, Candidate_Id) VALUES ('HOT.0001', $K)"},
       {"DELETE FROM Rollup_Records WHERE Rollup_Name = 'HOT.0001'",
        "DELETE FROM Rollup_Names WHERE Code = 'HOT.0001'"},
       "1 1 0",
       "$K",
       "also in batch list HOT.0001"},
      {{"INSERT INTO Scripts (Script_Id, Job_Id, Script_Type) VALUES ('900000003', $P, 'NOTE')"},
       {"DELETE FROM Scripts WHERE Script_Type = 'NOTE'"},
       "1 1 1",
       "$P",
       "script row 900000003, which the import did not write"},
      {{"INSERT INTO Candidates (Candidate_Id, Company_Id) VALUES (900000004, $C)"},
       {"DELETE FROM Candidates WHERE Candidate_Id = 900000004"},
       "1 0 0",
       "$C",
       "contact person 900000004, not of this batch list, refers to it"},
      {{"INSERT INTO Positions (Job_Id, Company_Id, Candidate_Id) VALUES (900000005, $C, $K)"},
       {"DELETE FROM Positions WHERE Job_Id = 900000005"},
       "1 1 0",
       "$K",
       "position 900000005, not of this batch list, refers to it"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.add.back());
    const Snapshot before = Take();
    run(c.add);
    const UndoResult result = Undo("CAR.0001", /*dry_run=*/true);
    run(c.remove);
    ASSERT_EQ(result.outcome, UndoOutcome::kDone) << result.error.description;
    const UndoReport& r = result.report;
    EXPECT_EQ(std::to_string(r.kept.companies) + " " + std::to_string(r.kept.contacts) + " " +
                  std::to_string(r.kept.positions),
              c.kept);
    // What a kept record refers to stays with it, for that reason.
    const auto kept =
        std::find_if(r.kept_records.begin(), r.kept_records.end(), [&](const KeptRecord& k) {
          const RecordKind kind = c.who == "$C"   ? RecordKind::kCompany
                                  : c.who == "$K" ? RecordKind::kContact
                                                  : RecordKind::kPosition;
          return k.kind == kind && static_cast<long long>(k.key.number()) == keys.at(c.who);
        });
    ASSERT_NE(kept, r.kept_records.end());
    std::string reasons;
    for (const std::string& reason : kept->reasons) reasons += reason + "; ";
    EXPECT_NE(reasons.find(c.reason), std::string::npos) << reasons;
    EXPECT_EQ(Take(), before);  // a dry run changes nothing
  }
  // With nothing outside left, the real undo takes everything.
  const UndoResult result = Undo("CAR.0001");
  ASSERT_EQ(result.outcome, UndoOutcome::kDone);
  EXPECT_EQ(result.report.kept.total(), 0);
  EXPECT_EQ(result.report.removed.total(), 6 + 7 + 8);
}

// A failure at any step, the commit included, leaves the target exactly as
// it was: the undo lands whole or not at all.
TEST_P(BatchUndoTest, AFaultAtAnyStepLeavesEverythingAsItWas) {
  ASSERT_EQ(Import("first_import.csv"), "CAR.0001");
  ASSERT_EQ(Import("second_import.csv"), "CAR.0002");
  const Snapshot before = Take();
  ASSERT_EQ(Undo("CAR.0001", /*dry_run=*/true).outcome, UndoOutcome::kDone);
  const int calls = last_calls_;
  ASSERT_GT(calls, 20);
  // Every step on SQLite; on the server a spread of them (each is a round trip).
  const int stride = GetParam() == EngineKind::kSqlite ? 1 : 7;
  for (int n = 1; n <= calls; n += stride) {
    SCOPED_TRACE("failing call " + std::to_string(n) + " of " + std::to_string(calls));
    const UndoResult result = Undo("CAR.0001", /*dry_run=*/false, n);
    EXPECT_EQ(result.outcome, UndoOutcome::kFailed);
    EXPECT_EQ(result.error.description, "injected fault");
    ASSERT_EQ(Take(), before);
  }
  // The last call of a real undo is its commit.
  const UndoResult commit_fails = Undo("CAR.0001", /*dry_run=*/false, calls + 1);
  EXPECT_EQ(commit_fails.outcome, UndoOutcome::kFailed);
  EXPECT_EQ(Take(), before);
  ASSERT_EQ(Undo("CAR.0001").outcome, UndoOutcome::kDone);
  ExpectNoDanglingReference();
}

INSTANTIATE_TEST_SUITE_P(Engines, BatchUndoTest,
                         ::testing::Values(EngineKind::kSqlite, EngineKind::kPostgres),
                         [](const auto& engine) { return testing::EngineName(engine.param); });

}  // namespace
}  // namespace talvenor::records
