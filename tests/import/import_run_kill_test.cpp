// A run killed part-way on a database file leaves whole data lines only, and
// running the same file again gives the target an uninterrupted run gives.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"

namespace talvenor::import::testing {

using namespace talvenor::testing;
namespace {

constexpr int kLines = 10400;
// Lines done before the kill: more than the SQLite engine groups into one
// transaction (10,000 lines), so some lines are committed and some are not.
constexpr int kKillAfter = 10200;

// Line i has a position of its own, one of 97 companies and two contacts
// from small pools, so later lines match much of what earlier lines made.
std::string ExportLine(int i) {
  std::vector<std::string> f(39);
  f[0] = "Job " + std::to_string(i);
  f[1] = "City " + std::to_string(i % 13);
  f[2] = "0" + std::to_string(2000 + i % 900);
  f[3] = "1/" + std::to_string(1 + i % 28) + "/2026";
  f[5] = "Company " + std::to_string(i % 97);
  f[6] = std::to_string(i % 97) + " Main St";
  f[10] = "555-" + std::to_string(1000 + i % 97);
  f[13] = "co" + std::to_string(i % 97) + "@example.test";
  f[14] = "First" + std::to_string(i % 211) + " Last" + std::to_string(i % 211);
  f[15] = "Title " + std::to_string(i % 5);
  f[16] = "617-555-" + std::to_string(1000 + i % 211);
  f[18] = "p" + std::to_string(i % 211) + "@example.test";
  f[19] = "Second" + std::to_string(i % 53) + " Person";
  std::string line;
  for (size_t k = 0; k < f.size(); ++k) {
    if (k > 0) line += ',';
    line += f[k];
  }
  return line;
}

// Kills its own process at the first clock reading once armed: the run reads
// the clock for the activity entry right after a record was saved, so the kill
// lands in the middle of a data line.
class KillingClock final : public talvenor::testing::FakeClock {
 public:
  bool armed = false;
  double Now() override {
    if (armed) ::raise(SIGKILL);
    return FakeClock::Now();
  }
};

class ArmingProgress final : public ImportProgress {
 public:
  explicit ArmingProgress(KillingClock& clock) : clock_(clock) {}
  void ClearList() override {}
  void AddLine(std::string_view) override {}
  // Lines are told only after their commit, so the kill is armed by the
  // caption of the line after kKillAfter.
  void SetCaption(std::string_view caption) override {
    if (caption == "Importing Row (" + std::to_string(kKillAfter + 1) + ")") clock_.armed = true;
  }
  void PumpEvents() override {}
  void SetBusy(bool) override {}

 private:
  KillingClock& clock_;
};

// Every row of the three record tables, keys replaced by what they point at,
// so that two targets can be compared whatever keys they gave.
std::vector<std::string> Rows(const std::string& path) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::vector<std::string> rows;
  for (const char* sql : {
           "SELECT 'company', Company_Name, Phone, Fax, Address_1, City, State, Zip, "
           "Email_Address FROM Companies",
           "SELECT 'candidate', ca.First_Name, ca.Middle_Init, ca.Last_Name, ca.Title, "
           "ca.Work_Phone, ca.Fax_Phone, ca.Email_Address, ca.Specialty_2, co.Company_Name, "
           "co.Phone FROM Candidates ca LEFT JOIN Companies co ON co.Company_Id=ca.Company_Id",
           "SELECT 'position', p.Job_Title, p.City, p.Zip, p.Contact_Name, p.Contact_Phone, "
           "p.Date_Posted, co.Company_Name, ca.First_Name, ca.Last_Name FROM Positions p "
           "LEFT JOIN Companies co ON co.Company_Id=p.Company_Id "
           "LEFT JOIN Candidates ca ON ca.Candidate_Id=p.Candidate_Id",
       }) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row += text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
        row += '|';
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  std::sort(rows.begin(), rows.end());
  return rows;
}

long long Count(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  long long n = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    n = sqlite3_column_int64(stmt, 0);
  } else {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return n;
}

TEST(ImportRunKill, RunAgainAfterAKillGivesWhatAnUninterruptedRunGives) {
  std::string why;
  std::unique_ptr<TestTarget> killed = TestTarget::Create(EngineKind::kSqlite, why);
  std::unique_ptr<TestTarget> whole = TestTarget::Create(EngineKind::kSqlite, why);
  ASSERT_NE(killed, nullptr) << why;
  ASSERT_NE(whole, nullptr) << why;

  const std::filesystem::path file =
      std::filesystem::path(killed->path()).parent_path() / "many_lines.csv";
  {
    std::ofstream out(file, std::ios::binary);
    out << "JOBTITLE,CITY\r\n";
    for (int i = 1; i <= kLines; ++i) out << ExportLine(i) << "\r\n";
  }

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    KillingClock clock;
    ArmingProgress progress(clock);
    talvenor::testing::RecordingOperator op;
    records::ClockCache cache;
    ImportServices services{op, clock, cache, progress};
    RunImport(ImportRequest{file.string(), {killed->path()}}, services);
    ::_exit(3);  // not killed: the parent reports it
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

  // Whole lines only: the positions are those of the first n lines, and so
  // are the companies.
  const long long n = Count(killed->path(), "SELECT COUNT(*) FROM Positions");
  EXPECT_GT(n, 0);
  EXPECT_LE(n, kKillAfter);
  EXPECT_EQ(Count(killed->path(),
                  "WITH RECURSIVE line(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                  "FROM line WHERE i < " +
                      std::to_string(n) +
                      ") SELECT COUNT(*) FROM Positions WHERE Job_Title IN "
                      "(SELECT 'Job ' || i FROM line)"),
            n);
  std::set<int> companies;
  for (int i = 1; i <= n; ++i) companies.insert(i % 97);
  EXPECT_EQ(Count(killed->path(), "SELECT COUNT(*) FROM Companies"),
            static_cast<long long>(companies.size()));
  EXPECT_EQ(Count(killed->path(), "SELECT COUNT(*) FROM RollupP_Records"), n);

  RecordingProgress progress;
  talvenor::testing::FakeClock clock;
  talvenor::testing::RecordingOperator op;
  records::ClockCache cache;
  ImportServices services{op, clock, cache, progress};
  const ImportSummary rerun = RunImport(ImportRequest{file.string(), {killed->path()}}, services);
  ASSERT_EQ(rerun.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(rerun.counts.positions_matched, n);
  const ImportSummary reference =
      RunImport(ImportRequest{file.string(), {whole->path()}}, services);
  ASSERT_EQ(reference.outcome, RunOutcome::kCompleted);
  EXPECT_TRUE(op.messages.empty());

  const std::vector<std::string> got = Rows(killed->path());
  const std::vector<std::string> want = Rows(whole->path());
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
  // Every record belongs to the batch list of the run that made it.
  for (const char* table : {"RollupC_Records", "Rollup_Records", "RollupP_Records"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Count(killed->path(), std::string("SELECT COUNT(*) FROM ") + table),
              Count(whole->path(), std::string("SELECT COUNT(*) FROM ") + table));
  }
}

}  // namespace
}  // namespace talvenor::import::testing
