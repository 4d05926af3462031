// Runs the real talvenor-import program: files it was not asked to write stay
// byte for byte as they were, and Ctrl-C is heard while it waits.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::RunAlso;
using testing::RunIn;
using testing::RunProgram;
using testing::SignalAfter;
using testing::Words;

// Runs SQLite text on a file, keeping the connection open (with its locks)
// until the object goes.
class Holder {
 public:
  Holder(const fs::path& file, const char* sql) {
    sqlite3_open(file.c_str(), &db_);
    sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  }
  ~Holder() { sqlite3_close_v2(db_); }

 private:
  sqlite3* db_ = nullptr;
};

// A folder with an export file e.csv, a target t.db (WAL, made by init and
// holding CAR.0001), the same target rb.db in rollback-journal mode, and an
// SQLite file of another program, foreign.db.
class UntouchedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = talvenor::testing::TestFolder();
    fs::copy_file(talvenor::testing::DataFile("first_import.csv"), folder_ / "e.csv");
    ASSERT_EQ(Run("init t.db").exit, 0);
    ASSERT_EQ(Run("run e.csv --target t.db -q").exit, 0);
    fs::copy_file(folder_ / "t.db", folder_ / "rb.db");
    Holder(folder_ / "rb.db", "PRAGMA journal_mode=DELETE");
    Holder(folder_ / "foreign.db", "CREATE TABLE Notes (Text VARCHAR(50))");
  }
  void TearDown() override { fs::remove_all(folder_); }

  testing::ProgramRun Run(const std::vector<std::string>& args, const RunAlso& also = {}) {
    RunIn in;
    in.folder = folder_.string();
    return RunProgram(args, in, also);
  }
  testing::ProgramRun Run(const std::string& args, const RunAlso& also = {}) {
    return Run(Words(args), also);
  }

  // Every entry of the folder and the folders in it: a file's bytes, a
  // link's destination.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder_)) {
      const std::string name = fs::relative(e.path(), folder_).string();
      files[name] = e.is_symlink()     ? "-> " + fs::read_symlink(e.path()).string()
                    : e.is_directory() ? "folder"
                                       : testing::Slurp(e.path());
    }
    return files;
  }

  fs::path folder_;
};

TEST_F(UntouchedFilesTest, RejectsFileThatIsAnInputOrTheTargetIsRefusedBeforeAnyWrite) {
  fs::create_symlink("t.db", folder_ / "to-target");
  fs::create_symlink("t.db-wal", folder_ / "to-wal");  // points to no file yet
  fs::copy_file(folder_ / "e.csv", folder_ / "w.why");
  struct Case {
    std::string args, clash;  // the path the rejects file would have written over
  };
  for (const Case& c : std::vector<Case>{
           {"run e.csv --target t.db --dry-run --rejects t.db", "'t.db'"},
           {"run e.csv --target t.db --rejects e.csv", "'e.csv'"},
           {"run e.csv --target t.db --rejects t.db-wal", "'t.db-wal'"},
           {"run e.csv --target t.db --rejects t.db-journal", "'t.db-journal'"},
           {"run e.csv --target t.db --rejects to-target", "'t.db'"},
           {"run e.csv --target t.db --dry-run --rejects to-wal", "'t.db-wal'"},
           {"run e.csv --target t.db --rejects " + (folder_ / "t.db").string(), "'t.db'"},
           {"run w.why --target t.db --rejects w", "'w.why'"},  // the reasons file
       }) {
    SCOPED_TRACE(c.args);
    const auto before = Snapshot();
    const auto run = Run(c.args);
    EXPECT_EQ(run.exit, 64) << run.err;
    EXPECT_TRUE(Contains(run.err, c.clash)) << run.err;
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(UntouchedFilesTest, RefusedTargetsFailedUndosAndDryRunsChangeNoByte) {
  std::ofstream(folder_ / "empty.db");
  struct Case {
    std::string args;
    int exit;
  };
  for (const Case& c : std::vector<Case>{
           {"run e.csv --target foreign.db", 69},
           {"run e.csv --target empty.db", 69},
           {"run e.csv --target rb.db --dry-run", 0},
           {"undo CAR.0001 --target foreign.db", 69},
           {"undo CAR.0009 --target rb.db", 65},
           {"undo CAR.0001 --target rb.db --dry-run", 0},
       }) {
    SCOPED_TRACE(c.args);
    const auto before = Snapshot();
    EXPECT_EQ(Run(c.args).exit, c.exit);
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(UntouchedFilesTest, CtrlCEndsALockWaitAndRollsTheUndoBack) {
  struct Case {
    std::string args, holder_file;
    const char* holder_sql;  // the other program's lock
  };
  for (const Case& c : std::vector<Case>{
           {"run e.csv --target t.db -q", "t.db", "BEGIN IMMEDIATE"},
           {"undo CAR.0001 --target t.db", "t.db", "BEGIN IMMEDIATE"},
           // A reader lets the undo do all its work, then keeps its commit waiting.
           {"undo CAR.0001 --target rb.db", "rb.db", "BEGIN; SELECT count(*) FROM Companies"},
       }) {
    SCOPED_TRACE(c.args);
    const auto before = Snapshot();
    const auto began = std::chrono::steady_clock::now();
    testing::ProgramRun run;
    {
      Holder holder(folder_ / c.holder_file, c.holder_sql);
      run = Run(c.args, SignalAfter(SIGINT, std::chrono::milliseconds(1200)));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    EXPECT_EQ(run.exit, 130) << run.err;
    EXPECT_TRUE(Contains(run.err, "interrupted")) << run.err;
    EXPECT_EQ(Snapshot(), before);
  }
  // The run says how long it really waited, not the longest wait there is.
  Holder holder(folder_ / "t.db", "BEGIN IMMEDIATE");
  const auto run =
      Run("run e.csv --target t.db -q", SignalAfter(SIGINT, std::chrono::milliseconds(1200)));
  EXPECT_TRUE(Contains(run.err, "(waited 1 s;") || Contains(run.err, "(waited 2 s;")) << run.err;
}

TEST_F(UntouchedFilesTest, ACatalogueInAFolderThatCannotBeWrittenIsRead) {
  // In WAL mode, as catalogues were kept: a reader would need a -shm file.
  const fs::path dir = folder_ / "readonly";
  fs::create_directory(dir);
  const std::string sql =
      "PRAGMA journal_mode=WAL; CREATE TABLE [Database Records] ([Database Id] VARCHAR(255), "
      "[Database UNC] VARCHAR(255), [Syncronization UNC] VARCHAR(255)); INSERT INTO "
      "[Database Records] VALUES ('Local', 't.db', '')";
  Holder(dir / "multi.mdb", sql.c_str());
  fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  // The superuser writes anywhere: the program then runs as nobody.
  std::vector<std::string> as = {TALVENOR_IMPORT_EXE};
  if (geteuid() == 0) {
    as.insert(as.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  const auto before = Snapshot();
  for (const std::string args :
       {"catalogue list --folder readonly", "run e.csv --database Local --folder readonly -q"}) {
    SCOPED_TRACE(args);
    std::vector<std::string> argv = as;
    for (const std::string& word : Words(args)) argv.push_back(word);
    RunIn in;
    in.folder = folder_.string();
    const auto run = testing::RunCommand(argv, in);
    EXPECT_FALSE(Contains(run.err, "catalogue")) << run.err;
    EXPECT_TRUE(args.starts_with("run") || Contains(run.out, "Local\tt.db")) << run.out;
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(UntouchedFilesTest, SmallFaultsAreToldAsWhatTheyAre) {
  fs::create_directory(folder_ / "folder.db");
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string out, err, hidden;  // parts of stdout and stderr; a text neither holds
    RunAlso also = {};
  };
  for (const Case& c : std::vector<Case>{
           {Words("run e.csv --taget t.db --json"), 64, R"({"outcome":"usage")",
            "unknown option '--taget'", ""},
           {Words("undo --json"), 64, R"({"outcome":"usage")", "CODE is required", ""},
           {Words("run e.csv --target folder.db"), 69, "", "'folder.db' is a folder", ""},
           {{"preview", "DRIVER={x};PWD=sekret"}, 66, "", "PWD=", "sekret"},
           {{"catalogue", "add", " ", "t.db", "--folder", "."}, 64, "", "blank", ""},
           {Words("catalogue add Sync t.db DRIVER=x;PWD=sekret --folder ."), 0, "",
            "synchronisation path", ""},
           {Words("catalogue list --folder ."), 0, "Sync\tt.db\tDRIVER=x;PWD=", "", "sekret"},
           {Words("undo CAR.0001 --target none.db --json"), 69, R"({"outcome":"target not opened")",
            "", ""},
           {Words("run e.csv --target t.db --json --dry-run"), 74, "", "standard output", "",
            testing::OutputTo("/dev/full")},
       }) {
    SCOPED_TRACE(c.args[1]);
    const auto run = Run(c.args, c.also);
    EXPECT_EQ(run.exit, c.exit) << run.err;
    EXPECT_TRUE(Contains(run.out, c.out)) << run.out;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    EXPECT_TRUE(c.hidden.empty() || !Contains(run.out + run.err, c.hidden)) << run.out << run.err;
  }
}

}  // namespace
}  // namespace talvenor::app
