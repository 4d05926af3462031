// What only the ODBC engine does: connection texts, the error list, the
// server clock queries on PostgreSQL, session settings, parameter conversion
// and a server that goes away. The recordset contract shared with the SQLite
// engine is tested once for both engines elsewhere.

#include "records/odbc/odbc_database.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "records/clock.h"
#include "records/date_time.h"
#include "records/odbc/odbc_support.h"
#include "tests/support/targets.h"

namespace talvenor::records {
namespace {

using odbc::DriverConnectText;
using odbc::Server;
using odbc::ServerStatement;
using odbc::SingleTableOf;
using testing::PgConnectText;
using testing::PgScratch;

constexpr const char* kPsql = "Driver=/usr/lib/odbc/psqlodbcw.so;Servername=/tmp/x";
constexpr const char* kKeepalive = "KeepaliveTime=30;KeepaliveInterval=10;";
constexpr const char* kPqopt = "pqopt={tcp_user_timeout=60000};";
constexpr const char* kPrepare = "UseServerSidePrepare=0;";

TEST(DriverConnectText, DropsThePrefixAndAddsDeadServerSettingsForPsqlodbc) {
  struct Case {
    std::string in, want;
  };
  const std::string psql = kPsql;
  for (const Case& c : std::initializer_list<Case>{
           {"ODBC;DSN=Sales;UID=sa", "DSN=Sales;UID=sa"},
           {"odbc;Driver={ODBC Driver 18 for SQL Server};Server=db",
            "Driver={ODBC Driver 18 for SQL Server};Server=db"},
           {"DSN=ODBC;", "DSN=ODBC;"},  // only a leading prefix is dropped
           {"ODBC", "ODBC"},
           {"ODBC;" + psql, psql + ";" + kKeepalive + kPqopt + kPrepare},
           {"Driver={PostgreSQL Unicode};Server=h;",
            "Driver={PostgreSQL Unicode};Server=h;" + std::string(kKeepalive) + kPqopt + kPrepare},
           // Settings the text makes itself are left alone.
           {psql + ";keepalivetime=5", psql + ";keepalivetime=5;" + kPqopt + kPrepare},
           {psql + ";PQOPT={sslmode=disable}",
            psql + ";PQOPT={sslmode=disable};" + kKeepalive + kPrepare},
           {psql + ";useserversideprepare=1",
            psql + ";useserversideprepare=1;" + kKeepalive + kPqopt},
       }) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(DriverConnectText(c.in), c.want);
  }
}

TEST(ServerStatement, AnswersTheClockQueriesOnPostgresOnly) {
  const std::string rdate = ServerStatement(Server::kPostgres, "SELECT 1");
  EXPECT_EQ(rdate, "SELECT 1");
  for (const char* sql : {"SELECT CONVERT(varchar(30), getdate(),113) As Rdate",
                          "select convert(VARCHAR(30),GETDATE(),113) as RDATE", "SELECT GetDate()",
                          " SELECT  getdate ( ) "}) {
    SCOPED_TRACE(sql);
    EXPECT_NE(ServerStatement(Server::kPostgres, sql), sql);
    EXPECT_EQ(ServerStatement(Server::kSqlServer, sql), sql);
    EXPECT_EQ(ServerStatement(Server::kOther, sql), sql);
  }
  // Near misses are other statements and pass unchanged.
  for (const char* sql :
       {"SELECT GetDate() AS Now", "SELECT CONVERT(varchar(30), getdate(),120)"}) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(ServerStatement(Server::kPostgres, sql), sql);
  }
}

TEST(OdbcSingleTableOf, FindsTheTableOfAnInsertSetAsWritten) {
  struct Case {
    const char* sql;
    std::optional<std::string> want;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"SELECT * FROM Companies WHERE Company_Id IS NULL", "Companies"},
           {"select * from Rollup_Names where Code = 'CAR.0001'", "Rollup_Names"},
           {"SELECT Code FROM [Rollup Names] ORDER BY Code", "[Rollup Names]"},
           {"SELECT * FROM dbo.Positions", "dbo.Positions"},
           {"SELECT 'x FROM y' AS a FROM T WHERE b = 'FROM z'", "T"},
           {"SELECT * FROM A, B", std::nullopt},
           {"SELECT * FROM A JOIN B ON A.x = B.x", std::nullopt},
           {"SELECT GetDate()", std::nullopt},
           {"UPDATE T SET a = 1", std::nullopt},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SingleTableOf(c.sql), c.want);
  }
}

TEST(OdbcWideText, RoundTripsUtf8ThroughUtf16) {
  struct Case {
    std::string in, want;
    size_t units;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Acme", "Acme", 4},
           {"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", 7},
           {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!", 3},  // a surrogate pair
           {"a\xFF"
            "b",
            "a\xEF\xBF\xBD"
            "b",
            3},                                          // a stray byte
           {"\xE6\x97", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},  // a cut sequence
       }) {
    SCOPED_TRACE(c.in);
    const odbc::WideText wide = odbc::ToWide(c.in);
    EXPECT_EQ(wide.size(), c.units);
    EXPECT_EQ(odbc::FromWide(wide), c.want);
  }
}

TEST(OdbcOpen, BadConnectionTextsFailWithTheDriverManagersError) {
  for (const char* connect :
       {"", "ODBC;", "DSN=NoSuchSource", "Driver=/nonexistent/driver.so;Server=x"}) {
    SCOPED_TRACE(connect);
    auto db = OdbcDatabase::Open(connect);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().number, kOdbcCallFailed);
    EXPECT_EQ(db.error().description, "ODBC--call failed.");
    ASSERT_FALSE(db.error().providers.empty());
    EXPECT_FALSE(db.error().providers[0].text.empty());
    EXPECT_EQ(db.error().providers[0].sql_state.size(), 5u);
  }
}

// The driver text of the cluster with its server folder replaced.
std::string WithServer(const std::string& connect, const std::string& folder, int port) {
  std::string out;
  size_t start = 0;
  while (start <= connect.size()) {
    size_t end = connect.find(';', start);
    if (end == std::string::npos) end = connect.size();
    std::string part = connect.substr(start, end - start);
    if (part.rfind("Servername=", 0) == 0) part = "Servername=" + folder;
    if (part.rfind("Port=", 0) == 0) part = "Port=" + std::to_string(port);
    if (!part.empty()) out += part + ";";
    start = end + 1;
  }
  return out;
}

double SecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

TEST(OdbcOpen, AServerThatIsNotThereOrDoesNotAnswerFailsFast) {
  TALVENOR_REQUIRE_PG();
  const auto folder =
      std::filesystem::temp_directory_path() / ("talvenor-silent-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  // A socket that takes connections and never says a word.
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (folder / ".s.PGSQL.6111").string();
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);

  struct Case {
    const char* what;
    int port;
    double min_seconds;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"no server", 6112, 0.0},
           // The login time-out is shortened so the test stays quick.
           // (libpq counts its time-out in whole seconds: 2 s may end after 1.)
           {"silent server", 6111, 0.9},
       }) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    auto db = OdbcDatabase::Open(WithServer(PgConnectText(), folder.string(), c.port),
                                 /*login_timeout_seconds=*/2);
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, c.min_seconds);
    EXPECT_LT(seconds, 10.0);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().number, kOdbcCallFailed);
    ASSERT_FALSE(db.error().providers.empty());
    EXPECT_EQ(db.error().providers[0].sql_state.substr(0, 2), "08")  // connection exception
        << db.error().providers[0].text;
  }
  close(listener);
  std::filesystem::remove_all(folder);
}

class OdbcPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    TALVENOR_REQUIRE_PG();
    scratch_ = PgScratch::Open();
    ASSERT_NE(scratch_, nullptr);
  }

  OdbcDatabase& db() { return scratch_->db(); }

  void Exec(const std::string& sql) {
    auto ok = db().Execute(sql);
    ASSERT_TRUE(ok.has_value()) << sql << ": "
                                << (ok                             ? ""
                                    : ok.error().providers.empty() ? ok.error().description
                                                                   : ok.error().providers[0].text);
  }

  // The first row's value of `field` in `sql`.
  Value First(const std::string& sql, std::string_view field) {
    auto set = db().OpenRecordset(sql);
    if (!set) {
      ADD_FAILURE() << sql << ": " << set.error().description;
      return Value();
    }
    auto v = (*set)->Field(field);
    if (!v) {
      ADD_FAILURE() << sql << " field " << field << ": " << v.error().description;
      return Value();
    }
    return *v;
  }

  std::unique_ptr<PgScratch> scratch_;
};

TEST_F(OdbcPostgres, OpensWithTheOdbcPrefixInAnyCase) {
  EXPECT_TRUE(db().IsPostgres());
  for (const std::string prefix : {"ODBC;", "odbc;", "Odbc;"}) {
    SCOPED_TRACE(prefix);
    auto other = OdbcDatabase::Open(prefix + PgConnectText());
    ASSERT_TRUE(other.has_value());
    auto set = (*other)->OpenRecordset("SELECT 7 AS n");
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ((*set)->Field("N").value(), Value::Number(7));
  }
}

TEST_F(OdbcPostgres, UniqueViolationsCarryProviderNumber2627AndTheirSqlState) {
  Exec("CREATE TABLE Keyed (Id BIGINT PRIMARY KEY, Code VARCHAR(10) UNIQUE)");
  Exec("INSERT INTO Keyed (Id, Code) VALUES (1, 'A')");
  struct Case {
    const char* what;
    Value id, code;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"primary key", Value::Number(1), Value::Text("B")},
           {"other unique index", Value::Number(2), Value::Text("A")},
       }) {
    SCOPED_TRACE(c.what);
    auto set = db().OpenRecordset("SELECT * FROM Keyed WHERE Id IS NULL");
    ASSERT_TRUE(set.has_value());
    ASSERT_TRUE((*set)->AddNew().has_value());
    ASSERT_TRUE((*set)->SetField("Id", c.id).has_value());
    ASSERT_TRUE((*set)->SetField("Code", c.code).has_value());
    auto saved = (*set)->Update();
    ASSERT_FALSE(saved.has_value());
    EXPECT_EQ(saved.error().number, kOdbcCallFailed);
    ASSERT_EQ(saved.error().providers.size(), 1u);
    EXPECT_EQ(saved.error().providers[0].number, kSqlServerPrimaryKey);
    EXPECT_EQ(saved.error().providers[0].sql_state, "23505");
    EXPECT_NE(saved.error().providers[0].text.find("duplicate key"), std::string::npos);

    // The row stays pending: a new key stores it.
    ASSERT_TRUE((*set)->SetField("Id", Value::Number(10)).has_value());
    ASSERT_TRUE((*set)->SetField("Code", Value::Text(std::string(c.what, 1))).has_value());
    EXPECT_TRUE((*set)->Update().has_value());
    Exec("DELETE FROM Keyed WHERE Id = 10");
  }
  // Other failures keep the server's SQLSTATE and its native number.
  auto bad = db().Execute("SELEC 1");
  ASSERT_FALSE(bad.has_value());
  ASSERT_EQ(bad.error().providers.size(), 1u);
  EXPECT_EQ(bad.error().providers[0].sql_state, "42601");
  EXPECT_NE(bad.error().providers[0].number, kSqlServerPrimaryKey);
}

TEST_F(OdbcPostgres, ReadsEveryDiagnosticRecordOfAFailedCall) {
  // Warnings before the error: the driver may fold them into one record or
  // give one record each; the error list must hold as many as the driver has.
  auto failed = db().Execute(
      "DO $$ BEGIN RAISE WARNING 'first'; RAISE WARNING 'second'; "
      "RAISE EXCEPTION 'third' USING ERRCODE = '23505'; END $$");
  ASSERT_FALSE(failed.has_value());
  const auto& providers = failed.error().providers;
  ASSERT_FALSE(providers.empty());
  std::string all;
  for (const auto& p : providers) all += p.text + "\n";
  EXPECT_NE(all.find("third"), std::string::npos) << all;
  // The record that carries the unique violation is the one renumbered.
  bool found = false;
  for (const auto& p : providers) {
    if (p.sql_state == "23505") {
      EXPECT_EQ(p.number, kSqlServerPrimaryKey);
      found = true;
    }
  }
  EXPECT_TRUE(found) << all;
}

TEST_F(OdbcPostgres, AnswersBothServerClockQueries) {
  SystemClock local;
  const Value rdate = First("SELECT CONVERT(varchar(30), getdate(),113) As Rdate", "RDate");
  ASSERT_TRUE(rdate.IsText());
  // 08 Dec 2026 15:04:05:123
  EXPECT_TRUE(std::regex_match(rdate.text(),
                               std::regex(R"(\d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d:\d{3})")))
      << rdate.text();
  const auto server = ParseDateTime(rdate.text().substr(0, 20));
  ASSERT_TRUE(server.has_value()) << rdate.text();
  // The cluster runs on this machine, in its time zone.
  EXPECT_NEAR(*server, local.Now(), 5.0 / 86400);

  auto set = db().OpenRecordset("SELECT GetDate()");
  ASSERT_TRUE(set.has_value());
  const Value now = (*set)->Field(0).value();
  ASSERT_TRUE(now.IsDateTime());
  EXPECT_NEAR(now.number(), local.Now(), 5.0 / 86400);
  EXPECT_NE(std::fmod(now.number() * 86400000.0, 1000.0), 0.0) << "milliseconds are kept";
}

TEST_F(OdbcPostgres, SessionSettingsWinOverTheServersAndTheConnectionsOwn) {
  // Even a connection told otherwise reads backslashes as text and dates
  // month first.
  auto contrary = OdbcDatabase::Open(
      PgConnectText() +
      ";ConnSettings=SET application_name='contrary'%3BSET standard_conforming_strings=off%3B"
      "SET DateStyle='ISO, DMY'");
  ASSERT_TRUE(contrary.has_value());
  auto name = (*contrary)->OpenRecordset("SELECT current_setting('application_name') AS N");
  ASSERT_TRUE(name.has_value());
  ASSERT_EQ((*name)->Field("N").value(), Value::Text("contrary")) << "the settings were run";
  Exec("CREATE TABLE " + scratch_->schema() +
       ".Notes (Id INTEGER, Body VARCHAR(80), At TIMESTAMP)");
  const std::string table = scratch_->schema() + ".Notes";
  for (OdbcDatabase* target : {&db(), contrary->get()}) {
    ASSERT_TRUE(
        target
            ->Execute("INSERT INTO " + table +
                      " (Id, Body, At) VALUES (1, 'C:\\new\\table', '12/8/2026 3:04:05 PM')")
            .has_value());
    auto set = target->OpenRecordset("SELECT * FROM " + table + " WHERE Id IS NULL");
    ASSERT_TRUE(set.has_value());
    ASSERT_TRUE((*set)->AddNew().has_value());
    ASSERT_TRUE((*set)->SetField("Id", Value::Number(2)).has_value());
    ASSERT_TRUE((*set)->SetField("Body", Value::Text("\\\\server\\share O'Neil")).has_value());
    ASSERT_TRUE((*set)->SetField("At", Value::Text("1/2/2026")).has_value());
    ASSERT_TRUE((*set)->Update().has_value());
  }
  const double dec8 = FromCivil({2026, 12, 8, 15, 4, 5, 0});
  const double jan2 = FromCivil({2026, 1, 2, 0, 0, 0, 0});
  struct Case {
    int id;
    std::string body;
    double at;
  };
  for (const Case& c : std::initializer_list<Case>{{1, "C:\\new\\table", dec8},
                                                   {2, "\\\\server\\share O'Neil", jan2}}) {
    SCOPED_TRACE(c.id);
    const std::string where = " FROM " + table + " WHERE Id = " + std::to_string(c.id);
    auto set = db().OpenRecordset("SELECT COUNT(*) AS N, MIN(Body) AS B, MIN(At) AS A" + where);
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ((*set)->Field("N").value(), Value::Number(2));
    EXPECT_EQ((*set)->Field("B").value(), Value::Text(c.body));
    EXPECT_EQ((*set)->Field("A").value(), Value::DateTime(c.at));
  }
}

TEST_F(OdbcPostgres, ConvertsValuesForTheirColumns) {
  Exec(
      "CREATE TABLE Mixed (Id BIGINT, Name VARCHAR(20), Memo TEXT, Small SMALLINT, "
      "Amount NUMERIC(10,2), At TIMESTAMP)");
  auto set = db().OpenRecordset("SELECT * FROM Mixed WHERE Id IS NULL");
  ASSERT_TRUE(set.has_value());
  Recordset& rs = **set;
  struct Size {
    const char* field;
    int want;
  };
  for (const Size& s :
       std::initializer_list<Size>{{"Name", 20}, {"name", 20}, {"Memo", 0}, {"Id", 0}, {"At", 0}}) {
    SCOPED_TRACE(s.field);
    EXPECT_EQ(rs.FieldSize(s.field).value_or(-1), s.want);
  }

  struct Case {
    const char* what;
    Value id, name, memo, small, amount, at;
    Value want_name, want_small, want_amount, want_at;
  };
  const double at = FromCivil({2026, 12, 8, 15, 4, 5, 123});
  const std::string wide = "Z\xC3\xBCrich \xF0\x9F\x98\x80";
  for (const Case& c : std::initializer_list<Case>{
           {"numbers into text", Value::Number(4636462783123), Value::Number(4636462783123),
            Value::Number(0.5), Value::Number(7), Value::Number(12.5), Value::DateTime(at),
            Value::Text("4636462783123"), Value::Number(7), Value::Number(12.5),
            Value::DateTime(at)},
           {"texts into numbers and dates", Value::Number(4636462783124), Value::Text(wide),
            Value::Text(wide), Value::Text("12"), Value::Text("3.25"),
            Value::Text("12/8/2026 3:04:05 PM"), Value::Text(wide), Value::Number(12),
            Value::Number(3.25), Value::DateTime(FromCivil({2026, 12, 8, 15, 4, 5, 0}))},
           {"nulls", Value::Number(4636462783125), Value::Null(), Value(), Value::Null(),
            Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
            Value::Null()},
       }) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(rs.AddNew().has_value());
    for (auto [field, value] :
         std::initializer_list<std::pair<const char*, const Value*>>{{"Id", &c.id},
                                                                     {"Name", &c.name},
                                                                     {"Memo", &c.memo},
                                                                     {"Small", &c.small},
                                                                     {"Amount", &c.amount},
                                                                     {"At", &c.at}}) {
      ASSERT_TRUE(rs.SetField(field, *value).has_value()) << field;
    }
    EXPECT_EQ(rs.Field("Id").value(), c.id) << "the pending value is readable";
    auto saved = rs.Update();
    ASSERT_TRUE(saved.has_value()) << (saved ? "" : saved.error().providers[0].text);
    const std::string where = "FROM Mixed WHERE Id = " + NumberToText(c.id.number());
    EXPECT_EQ(First("SELECT Id " + where, "Id"), c.id) << "13-digit keys stay exact";
    EXPECT_EQ(First("SELECT Name " + where, "Name"), c.want_name);
    EXPECT_EQ(First("SELECT Small " + where, "Small"), c.want_small);
    EXPECT_EQ(First("SELECT Amount " + where, "Amount"), c.want_amount);
    EXPECT_EQ(First("SELECT At " + where, "At"), c.want_at);
  }
  EXPECT_EQ(First("SELECT Memo FROM Mixed WHERE Id = 4636462783123", "Memo"), Value::Text("0.5"));
  EXPECT_EQ(First("SELECT Memo FROM Mixed WHERE Id = 4636462783124", "Memo"), Value::Text(wide));

  auto without = rs.Update();
  ASSERT_FALSE(without.has_value());
  EXPECT_EQ(without.error().number, kUpdateWithoutAddNew);
}

TEST_F(OdbcPostgres, AServerThatGoesAwayMakesCallsFailNotHang) {
  auto victim = OdbcDatabase::Open(PgConnectText());
  ASSERT_TRUE(victim.has_value());
  auto pid = (*victim)->OpenRecordset("SELECT pg_backend_pid() AS Pid");
  ASSERT_TRUE(pid.has_value());
  const Value backend = (*pid)->Field("Pid").value();
  Exec("SELECT pg_terminate_backend(" + backend.ToText() + ")");

  const auto start = std::chrono::steady_clock::now();
  auto query = (*victim)->OpenRecordset("SELECT 1 AS One");
  ASSERT_FALSE(query.has_value());
  EXPECT_EQ(query.error().number, kOdbcCallFailed);
  auto write = (*victim)->Execute("SELECT 1");
  ASSERT_FALSE(write.has_value());
  EXPECT_EQ(write.error().number, kOdbcCallFailed);
  EXPECT_LT(SecondsSince(start), 5.0);
}

TEST_F(OdbcPostgres, WritesCommitAtOnceUnlessLineTransactionsAreOn) {
  const std::string table = scratch_->schema() + ".Lines";
  Exec("CREATE TABLE " + table + " (Id INTEGER PRIMARY KEY)");
  auto count = [&] { return First("SELECT COUNT(*) AS N FROM " + table, "N"); };

  // Autocommit: another connection sees a write at once, and a failed
  // statement does not take the others with it.
  auto writer = OdbcDatabase::Open(PgConnectText());
  ASSERT_TRUE(writer.has_value());
  ASSERT_TRUE((*writer)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
  EXPECT_FALSE((*writer)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
  ASSERT_TRUE((*writer)->Execute("INSERT INTO " + table + " VALUES (2)").has_value());
  EXPECT_EQ(count(), Value::Number(2));

  // Line transactions, with a driver that undoes a failed statement alone.
  auto grouped = OdbcDatabase::Open(PgConnectText() + ";Protocol=7.4-2");
  ASSERT_TRUE(grouped.has_value());
  (*grouped)->SetCommitPolicy({.lines = 1, .milliseconds = 0});
  ASSERT_TRUE((*grouped)->SetLineTransactions(true).has_value());
  ASSERT_TRUE((*grouped)->Execute("INSERT INTO " + table + " VALUES (3)").has_value());
  EXPECT_FALSE((*grouped)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
  ASSERT_TRUE((*grouped)->Execute("INSERT INTO " + table + " VALUES (4)").has_value());
  EXPECT_EQ(count(), Value::Number(2)) << "nothing is visible before the line is done";
  ASSERT_TRUE((*grouped)->LineDone().has_value());
  EXPECT_EQ(count(), Value::Number(4));
}

TEST_F(OdbcPostgres, TellsWhetherTheDriverUndoesAFailedStatementAlone) {
  struct Case {
    std::string_view protocol;  // added to the connection text
    bool alone;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"", true},                  // psqlODBC's default
           {";Protocol=7.4-2", true},   // statement-level rollback
           {";Protocol=7.4-1", false},  // the whole transaction is undone
           {";Protocol=7.4-0", false},  // the transaction is left aborted
       }) {
    SCOPED_TRACE(c.protocol);
    auto db = OdbcDatabase::Open(PgConnectText() + std::string(c.protocol));
    ASSERT_TRUE(db.has_value());
    auto alone = (*db)->UndoesFailedStatementsAlone();
    ASSERT_TRUE(alone.has_value()) << alone.error().description;
    EXPECT_EQ(*alone, c.alone);
    // The probe leaves the connection as it was: a write still commits at once.
    auto after = (*db)->OpenRecordset("SELECT 1 AS One");
    ASSERT_TRUE(after.has_value()) << after.error().description;
  }
}

TEST_F(OdbcPostgres, AfterTheFirstLineEachLineIsOneTransaction) {
  const std::string table = scratch_->schema() + ".Grouped";
  Exec("CREATE TABLE " + table + " (Id INTEGER PRIMARY KEY)");
  auto count = [&] { return First("SELECT COUNT(*) AS N FROM " + table, "N"); };
  struct Case {
    std::string_view protocol;
    int seen_before_line_done;  // rows another connection sees before the second LineDone
  };
  for (const Case& c : std::initializer_list<Case>{
           {"", 1},                 // grouped: the second line waits for its LineDone
           {";Protocol=7.4-1", 3},  // not safe to group: every statement commits
       }) {
    SCOPED_TRACE(c.protocol);
    Exec("DELETE FROM " + table);
    auto db = OdbcDatabase::Open(PgConnectText() + std::string(c.protocol));
    ASSERT_TRUE(db.has_value());
    (*db)->SetCommitPolicy({.lines = 1, .milliseconds = 0});  // every line its own commit
    ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
    ASSERT_TRUE((*db)->LineDone().has_value());
    ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " VALUES (2)").has_value());
    // A failing statement in the middle of a line skips only itself.
    EXPECT_FALSE((*db)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
    ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " VALUES (3)").has_value());
    EXPECT_EQ(count(), Value::Number(c.seen_before_line_done));
    ASSERT_TRUE((*db)->LineDone().has_value());
    EXPECT_EQ(count(), Value::Number(3));
  }
}

TEST_F(OdbcPostgres, LinesAreCommittedInGroupsAndAFailedGroupRollsBackWhole) {
  const std::string table = scratch_->schema() + ".Groups";
  Exec("CREATE TABLE " + table + " (Id INTEGER PRIMARY KEY)");
  auto count = [&] { return First("SELECT COUNT(*) AS N FROM " + table, "N"); };
  struct Case {
    std::string_view what;
    int lines_per_commit;
    std::vector<bool> commits;  // LineDone's answer after each of lines 2..5
    int stored_after_rollback;  // rows left when the lines since the commit are undone
  };
  for (const Case& c : std::initializer_list<Case>{
           {"one group", 10'000, {false, false, false, false}, 1},
           {"groups of two", 2, {false, true, false, true}, 5},
           {"groups of three", 3, {false, false, true, false}, 4},
       }) {
    SCOPED_TRACE(c.what);
    Exec("DELETE FROM " + table);
    auto db = OdbcDatabase::Open(PgConnectText());
    ASSERT_TRUE(db.has_value());
    (*db)->SetCommitPolicy({.lines = c.lines_per_commit, .milliseconds = 0});
    // The first line settles the mode and is committed on its own.
    ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
    const DbResult<bool> first = (*db)->LineDone();
    ASSERT_TRUE(first.has_value() && *first);
    ASSERT_TRUE((*db)->CanUndoLines());
    for (int line = 2; line <= 5; ++line) {
      ASSERT_TRUE(
          (*db)->Execute("INSERT INTO " + table + " VALUES (" + std::to_string(line) + ")"));
      // A failing statement inside a group still skips only itself.
      EXPECT_FALSE((*db)->Execute("INSERT INTO " + table + " VALUES (1)").has_value());
      const DbResult<bool> done = (*db)->LineDone();
      ASSERT_TRUE(done.has_value());
      EXPECT_EQ(*done, c.commits[static_cast<size_t>(line - 2)]) << "line " << line;
    }
    ASSERT_TRUE((*db)->Rollback().has_value());
    EXPECT_EQ(count(), Value::Number(c.stored_after_rollback));
    (*db)->Close();
  }
}

TEST_F(OdbcPostgres, RowsKeptBackAreSentInOrderBeforeAReadAndFailTogether) {
  const std::string table = scratch_->schema() + ".Deferred";
  Exec("CREATE TABLE " + table + " (Id INTEGER PRIMARY KEY, Name VARCHAR(20))");
  struct Case {
    std::string_view what;
    int refused_id;  // a row given twice, which the server refuses; 0 for none
  };
  for (const Case& c : std::initializer_list<Case>{{"all stored", 0}, {"one refused", 1'777}}) {
    SCOPED_TRACE(c.what);
    Exec("DELETE FROM " + table);
    auto db = OdbcDatabase::Open(PgConnectText());
    ASSERT_TRUE(db.has_value());
    ASSERT_TRUE((*db)->BeginTransaction().has_value());
    ASSERT_TRUE((*db)->DeferWrites(true));
    auto set = (*db)->OpenRecordset("SELECT * FROM " + table + " WHERE Id IS NULL");
    ASSERT_TRUE(set.has_value());
    // More rows than one INSERT takes, through a set (parameters) and through
    // statement texts whose values hold apostrophes and semicolons.
    constexpr int kRows = 2'600;
    for (int id = 1; id <= kRows; ++id) {
      const std::string name = "it's;" + std::to_string(id);
      if (id % 2 == 1) {
        ASSERT_TRUE((*set)->AddNew().has_value());
        ASSERT_TRUE((*set)->SetField("Id", Value::Number(id)).has_value());
        ASSERT_TRUE((*set)->SetField("Name", Value::Text(name)).has_value());
        ASSERT_TRUE((*set)->Update().has_value());
      } else {
        ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " (Id,Name) VALUES (" +
                                   std::to_string(id) + ",'it''s;" + std::to_string(id) + "')"));
      }
      if (id == kRows / 2) {
        // A read sees every row given before it.
        auto read = (*db)->ReadRows("SELECT COUNT(*) FROM " + table);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->rows.at(0).at(0), Value::Number(kRows / 2));
      }
    }
    if (c.refused_id != 0) {
      ASSERT_TRUE((*db)->Execute("INSERT INTO " + table + " (Id,Name) VALUES (" +
                                 std::to_string(c.refused_id) + ",'again')"));
    }
    const DbStatus flushed = (*db)->Flush();
    EXPECT_EQ(flushed.has_value(), c.refused_id == 0);
    if (!flushed) {
      // Nothing more is taken until the rollback, which undoes every row.
      EXPECT_FALSE((*db)->ReadRows("SELECT 1").has_value());
      ASSERT_TRUE((*db)->Rollback().has_value());
      EXPECT_EQ(First("SELECT COUNT(*) AS N FROM " + table, "N"), Value::Number(0));
      continue;
    }
    EXPECT_EQ(First("SELECT COUNT(*) AS N FROM " + table, "N"), Value::Number(kRows));
    EXPECT_EQ(First("SELECT Name FROM " + table + " WHERE Id=2600", "Name"),
              Value::Text("it's;2600"));
    (*db)->Close();
  }
}

}  // namespace
}  // namespace talvenor::records
