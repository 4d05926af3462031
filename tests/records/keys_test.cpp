#include "records/keys.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <set>
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
using testing::FakeRow;
using testing::OdbcError;
using testing::RecordingDatabase;
using testing::RecordingOperator;

struct Fixture {
  RecordingDatabase db;
  FakeClock clock;
  RecordingOperator op;
  ClockCache cache;
  Target Odbc() { return On(SqlDialect::kSqlServer); }
  Target File() { return On(SqlDialect::kSqlite); }
  Target On(SqlDialect dialect) {
    db.dialect = dialect;
    return Target{db, clock, op, cache};
  }
};

constexpr std::string_view kServerClockSql = "CONVERT(varchar(30), getdate(),113)";

TEST(NewNumericKey, MadeFromTheServerClockText) {
  struct Case {
    std::string_view answer;
    double want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"08 Dec 2026 15:04:05:123", 4636462783123},
           {"08 Dec 2026 15:04:06:000", 4636462784000},  // next second, next prefix
           // 108 s is exactly 125 units: a floored double would give 124.
           {"08 Dec 2026 00:01:48:007", 4636400125007},
           {"08 Dec 2026 15:04:05:1x3", 0},  // no millisecond digits: no key
           {"not a date", 0},
       }) {
    SCOPED_TRACE(c.answer);
    Fixture f;
    f.db.Answer(std::string(kServerClockSql), {{{"RDate", Value::Text(std::string(c.answer))}}});
    Target target = f.Odbc();
    const Value key = NewNumericKey(target);
    if (c.want == 0) {
      EXPECT_TRUE(key.IsEmpty());
    } else {
      EXPECT_EQ(key, Value::Number(c.want));
    }
  }
}

TEST(NewNumericKey, EmptyWhenTheClockQueryFails) {
  Fixture f;
  f.db.Fail(std::string(kServerClockSql), OdbcError(208, "Invalid object name."));
  Target target = f.Odbc();
  EXPECT_TRUE(NewNumericKey(target).IsEmpty());
}

TEST(NewNumericKey, DatabaseFileEndsInThreeRandomDigits) {
  struct Case {
    double random, want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {0.0, 4636462783100}, {0.5, 4636462783550}, {0.9999, 4636462783999}}) {
    SCOPED_TRACE(c.random);
    Fixture f;
    // The engine answers with a date-time; 18 Dec would not fit 20 characters
    // of "m/d/yyyy h:nn:ss AM/PM" text, 8 Dec does. Both must keep the PM.
    f.db.Answer("Date()+Time() AS RDate FROM Candidates",
                {{{"RDate", Value::DateTime(FromCivil({2026, 12, 8, 15, 4, 5, 0}))}}});
    f.clock.SetRandom(c.random);
    Target target = f.File();
    EXPECT_EQ(NewNumericKey(target), Value::Number(c.want));
  }
  Fixture f;
  f.db.Answer("Date()+Time()", {{{"RDate", Value::Text("12/18/2026 3:04:05 PM")}}});
  f.clock.SetRandom(0);
  Target target = f.File();
  EXPECT_EQ(NewNumericKey(target), Value::Number(4637462783100));
}

TEST(NewRunKey, AsksTheServerOnceAMinuteAndNeverRepeatsAKey) {
  // The server answers 15:04:05.123 while the local clock reads 15:04:05.000.
  Fixture f;
  f.db.Answer(std::string(kServerClockSql), {{{"RDate", Value::Text("08 Dec 2026 15:04:05:123")}}});
  Target target = f.Odbc();
  struct Step {
    std::string_view what;
    double advance_seconds;  // local time passed before the key is made
    double want;
    int queries;  // clock queries made so far
  };
  for (const Step& s : std::initializer_list<Step>{
           {"the first key asks", 0, 4636462783123, 1},
           {"the same millisecond: the next number", 0, 4636462783124, 1},
           {"still no later than the last key", 0.001, 4636462783125, 1},
           {"250 ms later", 0.25, 4636462783374, 1},
           {"across a second: its own prefix", 0.7, 4636462784074, 1},
           // 15:05:00.000 locally: a new minute asks again (the same answer,
           // which is below the last key, so the last key + 1).
           {"a new local minute asks again", 54.998, 4636462784075, 2},
       }) {
    SCOPED_TRACE(s.what);
    f.clock.Advance(s.advance_seconds);
    EXPECT_EQ(NewRunKey(target), Value::Number(s.want));
    EXPECT_EQ(f.db.CountSql(kServerClockSql), s.queries);
  }
}

TEST(NewRunKey, KeysMadeFastStayApartAndInOrder) {
  Fixture f;
  f.db.Answer(std::string(kServerClockSql), {{{"RDate", Value::Text("08 Dec 2026 23:59:59:998")}}});
  f.clock.Set({2026, 12, 8, 23, 58, 0, 0});
  Target target = f.Odbc();
  double last = 0;
  for (int i = 0; i < 500; ++i) {
    const Value key = NewRunKey(target);
    ASSERT_TRUE(key.IsNumber());
    EXPECT_GT(key.number(), last) << i;
    last = key.number();
    f.clock.Advance(0.0004);  // 2.5 keys per millisecond
  }
  // 200 ms past the server's midnight: the next day's prefix.
  EXPECT_GE(last, NumericKeyAt(46365, 0));
  EXPECT_EQ(f.db.CountSql(kServerClockSql), 1);
}

TEST(NewRunKey, EmptyWhileTheClockQueryFailsAndFileKeysAsBefore) {
  Fixture f;
  f.db.Fail(std::string(kServerClockSql), OdbcError(208, "Invalid object name."));
  Target server = f.Odbc();
  EXPECT_TRUE(NewRunKey(server).IsEmpty());
  EXPECT_TRUE(NewRunKey(server).IsEmpty());
  EXPECT_EQ(f.db.CountSql(kServerClockSql), 2) << "a failed query is asked again";

  Fixture file;
  file.db.Answer("Date()+Time() AS RDate FROM Candidates",
                 {{{"RDate", Value::DateTime(FromCivil({2026, 12, 8, 15, 4, 5, 0}))}}});
  file.clock.SetRandom(0.5);
  Target target = file.File();
  EXPECT_EQ(NewRunKey(target), Value::Number(4636462783550));
}

TEST(NumericKeyAt, DaysMillisecondsAndTheirCarry) {
  struct Case {
    long long day, millisecond;
    double want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {46364, 54'245'123, 4636462783123},  // 15:04:05.123 on 8 Dec 2026
           {46364, 108'007, 4636400125007},     // 108 s is exactly 125 units
           {46364, 86'399'999, 4636499998999},  // the day's last millisecond
           {46364, 86'400'000, 4636500000000},  // carried into the next day
       }) {
    SCOPED_TRACE(c.millisecond);
    EXPECT_EQ(NumericKeyAt(c.day, c.millisecond), c.want);
  }
}

TEST(NewGuidText, BracedUpperCaseAndNewEachTime) {
  const std::string a = NewGuidText();
  ASSERT_EQ(a.size(), 38u);
  EXPECT_EQ(a.front(), '{');
  EXPECT_EQ(a.back(), '}');
  for (size_t i = 1; i < 37; ++i) {
    SCOPED_TRACE(i);
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      EXPECT_EQ(a[i], '-');
    } else {
      EXPECT_TRUE(std::isdigit(a[i]) || (a[i] >= 'A' && a[i] <= 'F'));
    }
  }
  EXPECT_NE(NewGuidText(), a);
}

TEST(NewGuidText, TimeOrderedVersionAndNeverRepeatedByAForkedChild) {
  const std::string first = NewGuidText();
  EXPECT_EQ(first[15], '7') << first;  // version 7: time first, then random
  EXPECT_NE(std::string_view("89AB").find(first[20]), std::string_view::npos) << first;
  std::set<std::string> seen{first};
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(NewGuidText()).second);

  // A child forked after the parent made GUIDs must not make the same ones.
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string guid = NewGuidText();
    const bool written = ::write(pipe_ends[1], guid.data(), guid.size()) == ssize_t(guid.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(pipe_ends[1]);
  char from_child[38] = {};
  EXPECT_EQ(::read(pipe_ends[0], from_child, sizeof from_child), 38);
  ::close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_NE(std::string(from_child, sizeof from_child), NewGuidText());
}

TEST(GuidText, MillisecondsFillTheFirst48BitsInOrder) {
  struct Case {
    std::int64_t ms;
    std::string_view prefix;  // "{" and the first 13 characters: 48 bits of time
  };
  for (const Case& c : std::initializer_list<Case>{
           {0, "{00000000-0000-7"},
           {1, "{00000000-0001-7"},
           {0x0123'4567'89AB, "{01234567-89AB-7"},
           {1'796'688'000'000, "{01A252F3-3400-7"},   // 2026-12-08 00:00:00 UTC
           {0xFFFF'FFFF'FFFF, "{FFFFFFFF-FFFF-7"},    // the last millisecond of the layout
           {0x1'0000'0000'0001, "{00000000-0001-7"},  // only the low 48 bits are kept
       }) {
    SCOPED_TRACE(c.ms);
    const std::string guid = GuidText(c.ms);
    ASSERT_EQ(guid.size(), 38u);
    EXPECT_EQ(guid.substr(0, c.prefix.size()), c.prefix);
    EXPECT_NE(std::string_view("89AB").find(guid[20]), std::string_view::npos) << guid;
    EXPECT_EQ(guid.back(), '}');
  }
}

TEST(GuidText, LaterMillisecondsSortAfterEarlierOnes) {
  // New keys go to the end of the key index: a GUID made a millisecond later
  // compares greater as text, whatever its random bits.
  std::string previous = GuidText(1'796'774'399'998);
  for (std::int64_t ms = 1'796'774'399'999; ms < 1'796'774'400'000 + 300; ++ms) {
    const std::string guid = GuidText(ms);
    EXPECT_LT(previous, guid) << ms;
    previous = guid;
  }
  // Two made in the same millisecond still differ.
  EXPECT_NE(GuidText(5), GuidText(5));
}

// Adds a company row with `key` set, as the importer does before saving.
std::unique_ptr<Recordset> CompanyRow(RecordingDatabase& db, const Value& key) {
  auto set = db.OpenRecordset("SELECT * FROM Companies WHERE Company_Id IS NULL");
  EXPECT_TRUE(set.has_value());
  EXPECT_TRUE((*set)->AddNew().has_value());
  EXPECT_TRUE((*set)->SetField("Company_Id", key).has_value());
  return std::move(*set);
}

TEST(SaveNewRecord, KeysMadeInTheSameMillisecondMoveToTheNextNumber) {
  Fixture f;
  f.db.Answer(std::string(kServerClockSql), {{{"RDate", Value::Text("08 Dec 2026 15:04:05:123")}}});
  Target target = f.Odbc();
  const Value first = NewNumericKey(target);
  const Value second = NewNumericKey(target);
  ASSERT_EQ(first, second);

  EXPECT_EQ(SaveNewRecord(target, *CompanyRow(f.db, first), "Company_Id", "Companies").key, first);
  // The second save collides twice: the first row, then a row of another run.
  f.db.FailUpdate(2, OdbcError(kSqlServerPrimaryKey));
  f.db.FailUpdate(3, OdbcError(kSqlServerPrimaryKey));
  f.db.Answer("WHERE Company_Id=4636462783123", {{{"Company_Id", Value::Number(4636462783123)}}});
  f.db.Answer("WHERE Company_Id=4636462783124", {{{"Company_Id", Value::Number(4636462783124)}}});
  EXPECT_EQ(SaveNewRecord(target, *CompanyRow(f.db, second), "Company_Id", "Companies").key,
            Value::Number(4636462783125));

  ASSERT_EQ(f.db.stored().size(), 2u);
  EXPECT_EQ(testing::FieldOf(f.db.stored()[1].fields, "Company_Id"), Value::Number(4636462783125));
  EXPECT_EQ(f.db.CountSql("SELECT Company_Id FROM Companies WHERE Company_Id=4636462783123"), 1);
  EXPECT_TRUE(f.op.messages.empty());
}

TEST(SaveNewRecord, RowsNotStoredGiveAnEmptyKeyWithoutMessage) {
  struct Case {
    std::string_view what;
    bool odbc;
    DbError error;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"collision whose key the check does not find", true, OdbcError(kSqlServerPrimaryKey)},
           {"unique index on another column", true, OdbcError(kSqlServerUniqueIndex)},
           {"duplicate in a database file", false, DbError{kDuplicateValue, "dup", {}}},
           {"no row being added", false, DbError{kUpdateWithoutAddNew, "no AddNew", {}}},
       }) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.db.FailUpdate(1, c.error);
    Target target = c.odbc ? f.Odbc() : f.File();
    EXPECT_TRUE(
        SaveNewRecord(target, *CompanyRow(f.db, Value::Number(42)), "Company_Id", "Companies")
            .key.IsEmpty());
    EXPECT_TRUE(f.db.stored().empty());
    EXPECT_TRUE(f.op.messages.empty());
  }
}

TEST(SaveNewRecord, FileTargetReturnsTheKeyTheEngineAssigned) {
  Fixture f;
  f.db.FillOnAddNew("Companies", {{"Company_Id", Value::Number(17)}});
  auto set = f.db.OpenRecordset("Companies", SetKind::kTable);
  ASSERT_TRUE(set && (*set)->AddNew());
  Target target = f.File();
  EXPECT_EQ(SaveNewRecord(target, **set, "Company_Id", "Companies").key, Value::Number(17));
}

TEST(SaveNewRecord, FailedSaveShowsTheErrorThenEveryProviderText) {
  struct Case {
    DbError error;
    std::string_view first, second;
  };
  for (const Case& c : std::initializer_list<Case>{
           {DbError{kOdbcCallFailed,
                    "ODBC--call failed.",
                    {{8152, "22001", "String or binary data would be truncated."},
                     {3621, "01000", "The statement has been terminated."}}},
            "ODBC--call failed.",
            // One blank after the standard text, one before each description.
            "ODBC--call failed.  String or binary data would be truncated. The statement has "
            "been terminated."},
           // A number past 16 bits still reaches the second message.
           {DbError{40002, "Engine refused the row.", {{40002, "HY000", "disk full"}}},
            "Engine refused the row.", "Application-defined or object-defined error  disk full"},
       }) {
    SCOPED_TRACE(c.first);
    Fixture f;
    f.db.FailUpdate(1, c.error);
    Target target = f.Odbc();
    EXPECT_TRUE(
        SaveNewRecord(target, *CompanyRow(f.db, Value::Number(42)), "Company_Id", "Companies")
            .key.IsEmpty());
    ASSERT_EQ(f.op.messages.size(), 2u);
    EXPECT_EQ(f.op.messages[0].text, c.first);
    EXPECT_EQ(f.op.messages[0].title, "");
    EXPECT_EQ(f.op.messages[1].text, c.second);
  }
}

TEST(ShowDatabaseErrors, AtMost52DescriptionsAndNoStrayBlanks) {
  RecordingOperator op;
  ShowDatabaseErrors(op, DbError{kDuplicateValue, "", {}});
  DbError many{kOdbcCallFailed, "", {}};
  for (int i = 0; i < 60; ++i) many.providers.push_back({i, "", "e" + std::to_string(i)});
  ShowDatabaseErrors(op, many);
  ASSERT_EQ(op.messages.size(), 2u);
  EXPECT_EQ(op.messages[0].text, StandardErrorText(kDuplicateValue));
  EXPECT_NE(op.messages[1].text.find(" e51"), std::string::npos);
  EXPECT_EQ(op.messages[1].text.find(" e52"), std::string::npos);
  EXPECT_EQ(op.messages[1].text.back(), '1');
}

TEST(NewNumericKey, DatabaseFileEngineClock) {
  auto db = testing::FreshSqliteTarget();
  ASSERT_NE(db, nullptr);
  FakeClock clock;
  RecordingOperator op;
  ClockCache cache;
  Target target{*db, clock, op, cache};
  EXPECT_TRUE(NewNumericKey(target).IsEmpty());  // no candidate row to read the time from
  ASSERT_TRUE(db->Execute("INSERT INTO Candidates (Last_Name) VALUES ('Ames')"));
  clock.SetRandom(0.25);
  const Value key = NewNumericKey(target);
  ASSERT_TRUE(key.IsNumber());
  EXPECT_NEAR(std::floor(key.number() / 1e8), std::floor(SystemClock().Now()), 1);  // the day
  EXPECT_EQ(key.ToText().size(), 13u);
  EXPECT_EQ(key.ToText().substr(10), "325");
}

TEST(ExecuteWithNewKey, AKeyTakenInTheSameMillisecondMovesOnOnlyOnAServer) {
  const auto insert = [](const Value& id) {
    return "INSERT INTO Scripts (Script_Id,Job_Id) VALUES (" + id.ToText() + ",7)";
  };
  struct Case {
    std::string_view what;
    bool odbc;
    DbError error;
    bool key_taken;
    bool stored;
    int tries;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"collision with a taken key", true, OdbcError(kSqlServerPrimaryKey), true, true, 2},
           {"collision the check does not find", true, OdbcError(kSqlServerPrimaryKey), false,
            false, 1},
           {"another server error", true, OdbcError(547), true, false, 1},
           {"a database file's duplicate", false, DbError{kDuplicateValue, "dup", {}}, true, false,
            1},
       }) {
    SCOPED_TRACE(c.what);
    Fixture f;
    Target target = c.odbc ? f.Odbc() : f.File();
    f.db.Fail("VALUES (100,", c.error);
    if (c.key_taken) f.db.Answer("WHERE Script_Id=100", {{{"Script_Id", Value::Number(100)}}});
    const DbStatus done =
        ExecuteWithNewKey(target, "Script_Id", "Scripts", Value::Number(100), insert);
    EXPECT_EQ(done.has_value(), c.stored);
    EXPECT_EQ(f.db.CountSql("INSERT INTO Scripts"), c.tries);
    EXPECT_EQ(f.db.CountSql("VALUES (101,7)"), c.stored ? 1 : 0);
    EXPECT_TRUE(f.op.messages.empty());
  }
}

}  // namespace
}  // namespace talvenor::records
