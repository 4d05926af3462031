#include "records/activity_log.h"

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

struct WriterCase {
  RecordKind kind;
  std::string_view activity_table, key_field, date_field, last_activity;
};

const std::initializer_list<WriterCase> kWriters = {
    {RecordKind::kCompany, "Company_Activity", "Company_Id", "Date_Entered",
     "UPDATE Companies SET Last_Activity='12/8/2026 3:04:05 PM' WHERE Company_Id=4636462700111"},
    {RecordKind::kContact, "Candidate_Activity", "Candidate_Id", "Entry_Date",
     "UPDATE Candidates SET Last_Activity='12/8/2026 3:04:05 PM' WHERE "
     "Candidate_Id=4636462700111"},
    {RecordKind::kPosition, "Position_Activities", "Position_Id", "Date_Entered",
     "UPDATE Positions SET Last_Activity='12/8/2026 3:04:05 PM' WHERE Job_Id=4636462700111"},
};

struct ActivityLogTest : ::testing::Test {
  RecordingDatabase db;
  FakeClock clock{FromCivil({2026, 12, 8, 15, 4, 5, 0})};
  RecordingOperator op;
  ClockCache cache;
  Target target{db, clock, op, cache};
  const Value key = Value::Number(4636462700111);
};

TEST_F(ActivityLogTest, ServerTargetWritesTheRowThenLastActivity) {
  for (const WriterCase& w : kWriters) {
    SCOPED_TRACE(w.activity_table);
    RecordingDatabase fresh;
    fresh.Answer("GetDate()", {{{"", Value::DateTime(clock.Now())}}});
    fresh.Answer("getdate(),113", {{{"RDate", Value::Text("08 Dec 2026 15:04:05:123")}}});
    Target t{fresh, clock, op, cache};
    EXPECT_EQ(AddActivity(t, w.kind, key, "12/8/2026", "Name Imported from O'Brien.", "TALVENOR"),
              "");

    EXPECT_EQ(fresh.sql().front(),
              "SELECT * FROM " + std::string(w.activity_table) + " WHERE Activity_Id IS NULL");
    ASSERT_EQ(fresh.stored().size(), 1u);
    const testing::FakeRow& row = fresh.stored()[0].fields;
    EXPECT_EQ(FieldOf(row, "Activity_Id"), Value::Number(4636462783123));
    EXPECT_EQ(FieldOf(row, w.key_field), key);
    EXPECT_EQ(FieldOf(row, "User_Name"), Value::Text("TALVENOR"));
    EXPECT_EQ(FieldOf(row, w.date_field), Value::Text("12/8/2026"));
    EXPECT_EQ(FieldOf(row, "Act_Type"), Value::Text("TALVENOR"));
    EXPECT_EQ(FieldOf(row, "Memo"),
              Value::Text("Name Imported from O'Brien. (Tue Dec-8 '26 3:04p/TALVENOR)"));
    EXPECT_EQ(fresh.sql().back(), w.last_activity);
  }
  EXPECT_TRUE(op.messages.empty());
}

TEST_F(ActivityLogTest, LastActivityIsSetEvenWhenTheRowFails) {
  struct Case {
    std::string_view what;
    bool open_fails;
    size_t messages;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"missing activity table", true, 2},
           {"duplicate activity key", false, 0},
       }) {
    SCOPED_TRACE(c.what);
    RecordingDatabase fresh;
    RecordingOperator ops;
    fresh.Answer("GetDate()", {{{"", Value::DateTime(clock.Now())}}});
    if (c.open_fails) {
      fresh.Fail("Company_Activity", OdbcError(208, "Invalid object name 'Company_Activity'."));
    }
    fresh.FailUpdate(1, OdbcError(kSqlServerUniqueIndex));
    Target t{fresh, clock, ops, cache};
    // A duplicate is not shown, but the caller still learns the row is missing.
    EXPECT_EQ(AddActivity(t, RecordKind::kCompany, key, "12/8/2026",
                          "Company Imported from Talvenor.", "TALVENOR"),
              "Company_Activity row not stored");
    EXPECT_TRUE(fresh.stored().empty());
    EXPECT_EQ(ops.messages.size(), c.messages);
    EXPECT_EQ(fresh.CountSql("UPDATE Companies SET Last_Activity="), 1);
  }
}

TEST_F(ActivityLogTest, EmptyKeyWritesNothing) {
  AddActivity(target, RecordKind::kPosition, Value(), "12/8/2026", "Name Imported from Talvenor.",
              "TALVENOR");
  EXPECT_TRUE(db.sql().empty());
}

TEST_F(ActivityLogTest, DatabaseFileKeepsAnActivityKeyTheEngineFilled) {
  db.dialect = SqlDialect::kSqlite;
  db.FillOnAddNew("Position_Activities", {{"Activity_Id", Value::Text("{ENGINE-KEY}")}});
  AddActivity(target, RecordKind::kPosition, key, "12/8/2026", "Name Imported from Talvenor.",
              "TALVENOR");
  ASSERT_EQ(db.stored().size(), 1u);
  EXPECT_EQ(FieldOf(db.stored()[0].fields, "Activity_Id"), Value::Text("{ENGINE-KEY}"));
  EXPECT_EQ(db.sql().front(), "Position_Activities");  // the table itself, not a query
}

// Reads one field of the first row a query finds.
Value FirstValue(Database& db, const std::string& sql, std::string_view field) {
  auto set = db.OpenRecordset(sql);
  if (!set || (*set)->Eof()) return Value();
  return (*set)->Field(field).value_or(Value());
}

TEST(ActivityLogOnDatabaseFile, WritesRowsAndLastActivity) {
  auto db = testing::FreshSqliteTarget();
  ASSERT_NE(db, nullptr);
  FakeClock clock{FromCivil({2026, 12, 8, 15, 4, 5, 0})};
  RecordingOperator op;
  ClockCache cache;
  Target target{*db, clock, op, cache};
  for (std::string_view sql : {"INSERT INTO Companies (Company_Name) VALUES ('Acme')",
                               "INSERT INTO Candidates (Last_Name) VALUES ('Ames')",
                               "INSERT INTO Positions (Job_Title) VALUES ('Welder')"}) {
    ASSERT_TRUE(db->Execute(sql).has_value()) << sql;
  }
  AddActivity(target, RecordKind::kCompany, Value::Number(1), "12/8/2026",
              "Company Imported from Talvenor.", "TALVENOR");
  AddActivity(target, RecordKind::kContact, Value::Number(1), "12/8/2026", "O'Brien's list",
              "TALVENOR");
  AddActivity(target, RecordKind::kPosition, Value::Number(1), "12/8/2026",
              "Name Imported from Talvenor.", "TALVENOR");
  EXPECT_TRUE(op.messages.empty());

  struct Case {
    std::string_view table, key_field, record_table, memo;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Company_Activity", "Company_Id", "Companies", "Company Imported from Talvenor."},
           {"Candidate_Activity", "Candidate_Id", "Candidates", "O'Brien's list"},
           {"Position_Activities", "Position_Id", "Positions", "Name Imported from Talvenor."},
       }) {
    SCOPED_TRACE(c.table);
    const std::string rows = "SELECT * FROM " + std::string(c.table);
    EXPECT_EQ(FirstValue(*db, rows, c.key_field).ToText(), "1");
    EXPECT_EQ(FirstValue(*db, rows, "Memo"),
              Value::Text(std::string(c.memo) + " (Tue Dec-8 '26 3:04p/TALVENOR)"));
    EXPECT_EQ(
        FirstValue(*db, "SELECT Last_Activity FROM " + std::string(c.record_table), "Last_Activity")
            .ToText(),
        "2026-12-08 15:04:05");  // the ISO form of every other date column of the file
    // Sorting and comparing by it is by date.
    EXPECT_EQ(FirstValue(*db,
                         "SELECT COUNT(*) AS n FROM " + std::string(c.record_table) +
                             " WHERE Last_Activity > '2026-12-08' AND Last_Activity < '2026-12-09'",
                         "n")
                  .ToText(),
              "1");
  }
  EXPECT_EQ(FirstValue(*db, "SELECT * FROM Company_Activity", "Activity_Id").ToText(), "1");
  const std::string guid =
      FirstValue(*db, "SELECT * FROM Position_Activities", "Activity_Id").ToText();
  EXPECT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
}

}  // namespace
}  // namespace talvenor::records
