#include "records/server_clock.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "records/date_time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_database.h"
#include "tests/support/recording_operator.h"

namespace talvenor::records {
namespace {

using testing::FakeClock;
using testing::RecordingDatabase;
using testing::RecordingOperator;

constexpr double kSecond = 1.0 / 86400;

struct ServerClockTest : ::testing::Test {
  RecordingDatabase db;
  FakeClock clock{FromCivil({2026, 12, 8, 15, 4, 0, 0})};
  RecordingOperator op;
  ClockCache cache;
  Target target{db, clock, op, cache};

  // The server runs 1000.25 seconds ahead of the local clock.
  void ServerAnswers(double serial) {
    db.Answer("SELECT GetDate()", {{{"", Value::DateTime(serial)}}});
  }
  double ServerTimeFor(double local) { return local + 1000.25 * kSecond; }
  int Queries() const { return db.CountSql("GetDate()"); }
};

TEST_F(ServerClockTest, DatabaseFileNeverAsks) {
  db.dialect = SqlDialect::kSqlite;
  EXPECT_DOUBLE_EQ(ServerNow(target), clock.Now());
  clock.Advance(90);
  EXPECT_DOUBLE_EQ(ServerNow(target), clock.Now());
  EXPECT_EQ(Queries(), 0);
}

TEST_F(ServerClockTest, OneQueryPerMinuteAdvancedByWholeSeconds) {
  const double fetched_at = clock.Now();
  ServerAnswers(ServerTimeFor(fetched_at));
  EXPECT_DOUBLE_EQ(ServerNow(target), ServerTimeFor(fetched_at));
  struct Case {
    double after, want_seconds;
  };
  for (const Case& c : std::initializer_list<Case>{
           {0.4, 0}, {2.5, 2}, {3.5, 4}, {59.9, 60}}) {  // halves round to even
    SCOPED_TRACE(c.after);
    clock.Set(fetched_at + c.after * kSecond);
    EXPECT_NEAR(ServerNow(target), ServerTimeFor(fetched_at) + c.want_seconds * kSecond, 1e-9);
  }
  EXPECT_EQ(Queries(), 1);

  clock.Set(fetched_at + 60.5 * kSecond);  // 15:05: a new minute asks again
  ServerAnswers(ServerTimeFor(clock.Now()));
  EXPECT_DOUBLE_EQ(ServerNow(target), ServerTimeFor(clock.Now()));
  EXPECT_EQ(Queries(), 2);
}

TEST_F(ServerClockTest, FailedQueryCachesTheLocalTimeForTheMinute) {
  db.Fail("GetDate()", testing::OdbcError(10054, "Communication link failure"));
  const double fetched_at = clock.Now();
  EXPECT_DOUBLE_EQ(ServerNow(target), fetched_at);
  clock.Advance(10);
  EXPECT_NEAR(ServerNow(target), fetched_at + 10 * kSecond, 1e-9);
  EXPECT_EQ(Queries(), 1);

  clock.Advance(60);
  ServerAnswers(ServerTimeFor(clock.Now()));
  EXPECT_DOUBLE_EQ(ServerNow(target), ServerTimeFor(clock.Now()));
  EXPECT_EQ(Queries(), 2);
}

TEST_F(ServerClockTest, FirstCallAtMidnightAsks) {
  // An unfilled cache formats as 00:00 too; it must not pass for a fetch.
  clock.Set(FromCivil({2026, 12, 9, 0, 0, 30, 0}));
  ServerAnswers(ServerTimeFor(clock.Now()));
  EXPECT_DOUBLE_EQ(ServerNow(target), ServerTimeFor(clock.Now()));
  EXPECT_EQ(Queries(), 1);
}

TEST_F(ServerClockTest, AcrossMidnightAndDaysLater) {
  clock.Set(FromCivil({2026, 12, 8, 23, 59, 50, 0}));
  const double fetched_at = clock.Now();
  ServerAnswers(ServerTimeFor(fetched_at));
  ServerNow(target);

  // Just after midnight: another minute, so the server is asked.
  clock.Set(FromCivil({2026, 12, 9, 0, 0, 10, 0}));
  ServerAnswers(ServerTimeFor(clock.Now()));
  EXPECT_DOUBLE_EQ(ServerNow(target), ServerTimeFor(clock.Now()));
  EXPECT_EQ(Queries(), 2);

  // Three days after that fetch, in the same "hh:nn": no query, the old answer
  // advanced by the counter difference only.
  const double old_answer = ServerTimeFor(clock.Now());
  clock.Set(FromCivil({2026, 12, 12, 0, 0, 14, 0}));
  EXPECT_NEAR(ServerNow(target), old_answer + 4 * kSecond, 1e-9);
  EXPECT_EQ(Queries(), 2);
}

}  // namespace
}  // namespace talvenor::records
