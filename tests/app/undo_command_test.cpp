// Runs the real talvenor-import program: the undo command, its exit codes
// and outputs, and undos killed part-way.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using talvenor::testing::DataFile;
using talvenor::testing::EngineKind;
using talvenor::testing::TestTarget;
using testing::Contains;
using testing::RunProgram;

// The answer of a one-number query on an SQLite file; -1 on any failure.
long long SqliteNumber(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  long long n = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      n = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return n;
}

class UndoCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    target_ = TestTarget::Create(EngineKind::kSqlite, why);
    ASSERT_NE(target_, nullptr) << why;
    folder_ = fs::path(target_->path()).parent_path();
  }

  void Import(const std::string& file) {
    const auto run = RunProgram({"run", DataFile(file), "--target", target_->path(), "-q"});
    ASSERT_EQ(run.exit, 0) << run.err;
  }

  std::unique_ptr<TestTarget> target_;
  fs::path folder_;
};

TEST_F(UndoCommandTest, ExitCodesTellWhatWentWrong) {
  Import("first_import.csv");
  const std::string target = target_->path();
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string err;  // part of stderr
  };
  for (const Case& c : std::vector<Case>{
           {{"undo", "--help"}, 0, ""},
           {{"undo"}, 64, "CODE is required"},
           {{"undo", "CAR.0001"}, 64, "either --target or --database"},
           {{"undo", "CAR.0001", "--target", target, "--database", "Main"}, 64, "excludes"},
           {{"undo", " ", "--target", target}, 64, "CODE is empty"},
           {{"undo", "CAR.0002", "--target", target}, 65, "the most recent are CAR.0001"},
           {{"undo", "CAR.0001", "--target", target + ".missing"}, 69, "Could not find file"},
           {{"undo", "CAR.0001", "--database", "No Such Entry", "--folder", folder_.string()},
            69,
            "Database Entry Not Found"},
       }) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const auto run = RunProgram(c.args);
    EXPECT_EQ(run.exit, c.exit) << run.err;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
  }
  // None of them took anything away.
  EXPECT_EQ(SqliteNumber(target, "SELECT COUNT(*) FROM RollupC_Records"), 6);
}

TEST_F(UndoCommandTest, PrintsTheCountsAsTextOrAsOneJsonObject) {
  Import("first_import.csv");
  const auto dry =
      RunProgram({"undo", "CAR.0001", "--target", target_->path(), "--dry-run", "--json"});
  ASSERT_EQ(dry.exit, 0) << dry.err;
  EXPECT_EQ(
      dry.out.rfind(R"({"outcome":"done","dry_run":true,"batch_code":"CAR.0001",)"
                    R"("removed":{"companies":6,"contacts":7,"positions":8,"activity_rows":21,)"
                    R"("script_rows":4,"memberships":21},)"
                    R"("kept":{"companies":0,"contacts":0,"positions":0,"memberships":0},)"
                    R"("memberships_without_record":0,"list_removed":true,)"
                    R"("removed_keys":{"companies":[1,2,3,4,5,6],"contacts":[1,2,3,4,5,6,7],)"
                    R"("positions":[1,2,3,4,5,6,7,8]},"kept_records":[]})",
                    0),
      0u)
      << dry.out;
  EXPECT_EQ(testing::Lines(dry.out).size(), 1u);
  EXPECT_EQ(SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Companies"), 6);

  const auto real = RunProgram({"undo", "CAR.0001", "--target", target_->path()});
  ASSERT_EQ(real.exit, 0) << real.err;
  EXPECT_TRUE(Contains(real.out, "Companies:          6 removed, 0 kept\n")) << real.out;
  EXPECT_TRUE(Contains(real.out, "Batch list row:     removed\nUndo Complete\n")) << real.out;
  EXPECT_EQ(SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Companies"), 0);
  // The list is gone: a second undo finds no such code, and the target holds
  // none to name.
  const auto again = RunProgram({"undo", "CAR.0001", "--target", target_->path()});
  EXPECT_EQ(again.exit, 65);
  EXPECT_TRUE(Contains(again.err, "the target holds none")) << again.err;
}

// Starts the program without waiting for it.
pid_t Spawn(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  std::vector<std::string> text = {TALVENOR_IMPORT_EXE};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, TALVENOR_IMPORT_EXE, &actions, nullptr, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A batch list of `n` companies, each with its activity row and membership,
// written straight into the file (an import of that size takes far longer).
void FillBatch(const std::string& path, int n) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const std::string count = std::to_string(n);
  const std::string sql =
      "BEGIN;"
      "INSERT INTO Rollup_Names (Code, Description) VALUES ('CAR.0001', 'TALVENOR 1/1/2026');"
      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
      count +
      ") INSERT INTO Companies (Company_Id, Company_Name) SELECT i, 'Company ' || i FROM k;"
      "INSERT INTO Company_Activity (Company_Id, User_Name, Act_Type) "
      "SELECT Company_Id, 'TALVENOR', 'TALVENOR' FROM Companies;"
      "INSERT INTO RollupC_Records (Rollup_Name, Company_Id) "
      "SELECT 'CAR.0001', Company_Id FROM Companies;"
      "COMMIT;";
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

// kill -9 at random moments of an undo: the file is sound and holds the whole
// batch list or nothing of it, never a part.
TEST_F(UndoCommandTest, AKilledUndoLeavesAllOrNothing) {
  constexpr int kCompanies = 20000;
  const std::string pristine = (folder_ / "pristine.db").string();
  FillBatch(target_->path(), kCompanies);
  fs::copy_file(target_->path(), pristine);

  // How long an undo takes when left alone.
  const auto start = std::chrono::steady_clock::now();
  const auto whole = RunProgram({"undo", "CAR.0001", "--target", target_->path()});
  ASSERT_EQ(whole.exit, 0) << whole.err;
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Companies"), 0);

  std::mt19937 random(12345);
  std::uniform_int_distribution<long long> moment(
      0, std::chrono::duration_cast<std::chrono::microseconds>(took).count());
  int killed_running = 0;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(target_->path() + suffix);
    fs::copy_file(pristine, target_->path());
    const pid_t pid = Spawn({"undo", "CAR.0001", "--target", target_->path()});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) ++killed_running;

    EXPECT_EQ(SqliteNumber(target_->path(),
                           "SELECT COUNT(*) FROM pragma_integrity_check WHERE "
                           "integrity_check <> 'ok'"),
              0);
    const long long companies = SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Companies");
    const long long activities =
        SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Company_Activity");
    const long long members = SqliteNumber(target_->path(), "SELECT COUNT(*) FROM RollupC_Records");
    const long long lists = SqliteNumber(target_->path(), "SELECT COUNT(*) FROM Rollup_Names");
    const bool all =
        companies == kCompanies && activities == kCompanies && members == kCompanies && lists == 1;
    const bool nothing = companies == 0 && activities == 0 && members == 0 && lists == 0;
    EXPECT_TRUE(all || nothing) << companies << " companies, " << activities << " activity rows, "
                                << members << " memberships, " << lists << " lists";
  }
  // Most kills must have struck a running undo, or the test proves little.
  EXPECT_GE(killed_running, 4);
}

}  // namespace
}  // namespace talvenor::app
