#include "records/import_batch.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "records/date_time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_database.h"
#include "tests/support/recording_operator.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

using testing::FakeClock;
using testing::FieldOf;
using testing::OdbcError;
using testing::RecordingDatabase;
using testing::RecordingOperator;

struct ImportBatchTest : ::testing::Test {
  RecordingDatabase db;
  FakeClock clock{FromCivil({2026, 12, 8, 15, 4, 5, 0})};
  RecordingOperator op;
  ClockCache cache;
  Target target{db, clock, op, cache};

  void SetUp() override { db.Answer("GetDate()", {{{"", Value::DateTime(clock.Now())}}}); }
  void HighestByText(std::string code) {
    db.Answer("ORDER BY Code DESC", {{{"Code", Value::Text(std::move(code))}}});
  }
  void Taken(const std::string& code) {
    db.Answer("WHERE Code = '" + code + "'", {{{"Code", Value::Text(code)}}});
  }
};

TEST_F(ImportBatchTest, NextCodeFollowsTheHighestCode) {
  struct Case {
    std::string_view highest, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"", "CAR.0001"},  // no list yet
           {"CAR.0041", "CAR.0042"},
           {"CARGO.0007", "CARGO.0008"},  // the base of the highest code is kept
           {"CAR", "CAR.0001"},           // no "."
           {"CAR.0007B  ", "CAR.0008"},   // text after the number, trailing blanks
           {"CAR.", "CAR.0001"},
       }) {
    SCOPED_TRACE(c.highest);
    RecordingDatabase fresh;
    fresh.Answer("GetDate()", {{{"", Value::DateTime(clock.Now())}}});
    if (!c.highest.empty()) {
      fresh.Answer("ORDER BY Code DESC", {{{"Code", Value::Text(std::string(c.highest))}}});
    }
    Target t{fresh, clock, op, cache};
    EXPECT_EQ(CreateImportBatch(t), c.want);
    EXPECT_EQ(fresh.sql().front(),
              "SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR%' ORDER BY Code DESC");
  }
}

TEST_F(ImportBatchTest, WritesTheListRow) {
  HighestByText("CAR.0041");
  ASSERT_EQ(CreateImportBatch(target), "CAR.0042");
  EXPECT_EQ(db.CountSql("SELECT * FROM Rollup_Names WHERE Code = 'CAR.0042'"), 1);
  ASSERT_EQ(db.stored().size(), 1u);
  const testing::FakeRow& row = db.stored()[0].fields;
  EXPECT_EQ(FieldOf(row, "Code"), Value::Text("CAR.0042"));
  EXPECT_EQ(FieldOf(row, "Description"), Value::Text("TALVENOR 12/8/2026"));
  EXPECT_EQ(FieldOf(row, "Memo"),
            Value::Text("Import Created By Talvenor Import Utility. 12/8/2026 3:04:05 PM"));
  EXPECT_EQ(FieldOf(row, "Shared"), Value::Number(1));
  EXPECT_EQ(FieldOf(row, "Date_Entered"), Value::Text("12/8/2026 3:04:05 PM"));
}

TEST_F(ImportBatchTest, ContinuesPast9999) {
  // CAR.9999 stays the highest code by text while CAR.10000 and up exist.
  HighestByText("CAR.9999");
  for (int n = 10000; n <= 10057; ++n) Taken("CAR." + std::to_string(n));
  EXPECT_EQ(CreateImportBatch(target), "CAR.10058");
  EXPECT_LT(db.CountSql("SELECT Code FROM Rollup_Names WHERE Code = '"), 16);
}

TEST_F(ImportBatchTest, DuplicateAtInsertTakesTheNextCode) {
  HighestByText("CAR.0041");
  db.FailUpdate(1, OdbcError(kSqlServerPrimaryKey));
  db.FailUpdate(2, OdbcError(kSqlServerUniqueIndex));
  EXPECT_EQ(CreateImportBatch(target), "CAR.0044");
  ASSERT_EQ(db.stored().size(), 1u);
  EXPECT_EQ(FieldOf(db.stored()[0].fields, "Code"), Value::Text("CAR.0044"));
}

TEST_F(ImportBatchTest, NothingWhenNoListRowCanBeStored) {
  HighestByText("CAR.0041");
  for (int n = 1; n <= 100; ++n) db.FailUpdate(n, OdbcError(kSqlServerPrimaryKey));
  // Every code tried was taken: no engine error lies behind that.
  const DbResult<std::string> taken = CreateImportBatch(target);
  ASSERT_FALSE(taken.has_value());
  EXPECT_EQ(taken.error().number, 0);

  RecordingDatabase other;
  other.FailUpdate(1, OdbcError(515, "Cannot insert the value NULL into column 'Shared'."));
  other.dialect = SqlDialect::kSqlite;
  Target t{other, clock, op, cache};
  const DbResult<std::string> failed = CreateImportBatch(t);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().number, kOdbcCallFailed);
  EXPECT_EQ(other.sql().front(),
            "SELECT Code FROM Rollup_Names WHERE Code LIKE 'CAR*' ORDER BY Code DESC");
  EXPECT_EQ(other.updates(), 1);
}

// Another workstation stores the code between this run's choice and its
// insert: the first insert set for a code finds nothing, then the code is taken.
class RacingDatabase : public Database {
 public:
  explicit RacingDatabase(Database& inner) : inner_(inner) {}
  DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql,
                                                     SetKind kind = SetKind::kDynaset) override {
    auto set = inner_.OpenRecordset(sql, kind);
    const std::string_view insert_set = "SELECT * FROM Rollup_Names WHERE Code = '";
    if (!raced_ && sql.starts_with(insert_set)) {
      raced_ = true;
      const std::string code(sql.substr(insert_set.size()));
      (void)inner_.Execute("INSERT INTO Rollup_Names (Code, Shared) VALUES ('" + code + ", 0)");
    }
    return set;
  }
  DbStatus Execute(std::string_view sql) override { return inner_.Execute(sql); }
  DbResult<bool> LineDone() override { return inner_.LineDone(); }
  DbStatus Flush() override { return inner_.Flush(); }
  DbStatus Rollback() override { return inner_.Rollback(); }
  bool CanUndoLines() const override { return inner_.CanUndoLines(); }
  SqlDialect Dialect() const override { return inner_.Dialect(); }
  KeyForm Keys() const override { return inner_.Keys(); }
  DbStatus HoldAllWrites() override { return inner_.HoldAllWrites(); }
  DbStatus BeginTransaction() override { return inner_.BeginTransaction(); }
  void Close() override {}

 private:
  Database& inner_;
  bool raced_ = false;
};

TEST(ImportBatchOnDatabaseFile, CodeSeriesPast9999AndARaceAtInsert) {
  auto db = testing::FreshSqliteTarget();
  ASSERT_NE(db, nullptr);
  FakeClock clock{FromCivil({2026, 12, 8, 15, 4, 5, 0})};
  RecordingOperator op;
  ClockCache cache;
  Target target{*db, clock, op, cache};
  EXPECT_EQ(CreateImportBatch(target), "CAR.0001");
  EXPECT_EQ(CreateImportBatch(target), "CAR.0002");

  for (std::string_view code : {"CAR.9999", "CAR.10000", "CAR.10001"}) {
    ASSERT_TRUE(
        db->Execute("INSERT INTO Rollup_Names (Code) VALUES ('" + std::string(code) + "')"));
  }
  EXPECT_EQ(CreateImportBatch(target), "CAR.10002");
  EXPECT_EQ(CreateImportBatch(target), "CAR.10003");

  RacingDatabase racing(*db);
  Target raced{racing, clock, op, cache};
  EXPECT_EQ(CreateImportBatch(raced), "CAR.10005");
  auto row = db->OpenRecordset("SELECT * FROM Rollup_Names WHERE Code = 'CAR.10005'");
  ASSERT_TRUE(row && !(*row)->Eof());
  EXPECT_EQ((*row)->Field("Description").value_or(Value()), Value::Text("TALVENOR 12/8/2026"));
  EXPECT_EQ((*row)->Field("Shared").value_or(Value()).ToText(), "1");
  EXPECT_TRUE(op.messages.empty());
}

}  // namespace
}  // namespace talvenor::records
