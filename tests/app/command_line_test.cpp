// Runs the real talvenor-import program: the parsing every sub-command
// shares, targets typed on the command line, and the messages that say what
// went wrong and what to do.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "records/open_target.h"
#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using talvenor::testing::DataFile;
using talvenor::testing::EngineKind;
using talvenor::testing::TestTarget;
using testing::Contains;
using testing::Count;
using testing::Lines;
using testing::ProgramRun;
using testing::RunProgram;
using testing::Slurp;

const std::string kFile = DataFile("first_import.csv");

// Runs SQL on an SQLite file outside the program.
void Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(CommandLine, EveryCommandHasHelpAndVersion) {
  for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
           {"run"}, {"init"}, {"preview"}, {"encode"}, {"catalogue"}, {"catalogue", "add"}}) {
    std::string name = "talvenor-import";
    for (const std::string& word : command) name += " " + word;
    SCOPED_TRACE(name);
    std::vector<std::string> help = command;
    help.push_back("--help");
    const ProgramRun shown = RunProgram(help);
    EXPECT_EQ(shown.exit, 0);
    EXPECT_TRUE(shown.out.starts_with("Usage: " + name)) << shown.out;
    EXPECT_EQ(shown.err, "");

    std::vector<std::string> version = command;
    version.push_back("--version");
    const ProgramRun told = RunProgram(version);
    EXPECT_EQ(told.exit, 0);
    EXPECT_TRUE(told.out.starts_with(name + " ")) << told.out;
    EXPECT_EQ(Lines(told.out).size(), 1u) << told.out;
  }
}

TEST(CommandLine, MistakesAreNamedOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  for (const Case& c : std::vector<Case>{
           {{"frob"}, "talvenor-import: unknown command 'frob' (see --help)\n"},
           {{"catalogue", "frob"},
            "talvenor-import catalogue: unknown command 'frob'; the commands are list, add, "
            "remove (see --help)\n"},
           {{"catalogue"},
            "talvenor-import catalogue: a command is needed; the commands are list, add, remove "
            "(see --help)\n"},
           {{"catalogue", "--folder", "list", "frob"},  // "list" is the folder here
            "talvenor-import catalogue: unknown command 'frob'; the commands are list, add, "
            "remove (see --help)\n"},
           {{"init", "--sql=oracle"},
            "talvenor-import init: unknown dialect 'oracle' (see --help)\n"},
           {{"preview", "--fast", "a.csv"},
            "talvenor-import preview: unknown option '--fast' (see --help)\n"},
           {{"encode", "a", "b"}, "talvenor-import encode: unexpected argument 'b' (see --help)\n"},
           {{"run", "a.csv", "--rejects", "--json", "--target=x.db"},
            "talvenor-import run: --rejects needs a value, not the option '--json' (see "
            "--help)\n"},
           {{"catalogue", "add", "OnlyId"},
            "talvenor-import catalogue: UNC is required (see --help)\n"},
       }) {
    SCOPED_TRACE(c.args.back());
    const ProgramRun run = RunProgram(c.args);
    EXPECT_EQ(run.exit, 64);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
  // An option's name is never taken for the text it stands beside.
  const ProgramRun version = RunProgram({"encode", "--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_TRUE(version.out.starts_with("talvenor-import encode ")) << version.out;
  EXPECT_FALSE(Contains(version.out, "ODBC/")) << version.out;
}

class CommandLineTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    target_ = TestTarget::Create(EngineKind::kSqlite, why);
    ASSERT_NE(target_, nullptr) << why;
    folder_ = fs::path(target_->path()).parent_path();
  }

  std::unique_ptr<TestTarget> target_;
  fs::path folder_;
};

TEST_F(CommandLineTarget, ADashReadsStandardInput) {
  const ProgramRun from_file = RunProgram({"preview", kFile});
  const ProgramRun from_input = RunProgram({"preview", "-"}, {"", kFile});
  EXPECT_EQ(from_input.exit, 0) << from_input.err;
  EXPECT_EQ(from_input.out, from_file.out);
  EXPECT_FALSE(from_input.out.empty());

  const ProgramRun run =
      RunProgram({"run", "-", "--target=" + target_->path(), "--json", "--quiet"}, {"", kFile});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with(R"({"outcome":"completed","completed":true,"lines_read":8,)"))
      << run.out;
  auto db = target_->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 8);
}

TEST_F(CommandLineTarget, ARejectedLineIsToldOnceWithItsNumber) {
  Sql(target_->path(),
      "CREATE TRIGGER refuse_lee BEFORE INSERT ON Candidates WHEN NEW.Last_Name = 'Lee' "
      "BEGIN SELECT RAISE(ABORT, 'no Lees allowed'); END;");
  const ProgramRun run = RunProgram({"run", kFile, "--target", target_->path(), "--quiet"});
  EXPECT_EQ(run.exit, 0) << run.err;
  // Ann Lee stands on data lines 1, 2 and 7 (file lines 2, 3 and 9).
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 3u) << run.err;
  const std::vector<std::string> numbers = {"line 1 (file line 2)", "line 2 (file line 3)",
                                            "line 7 (file line 9)"};
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    EXPECT_TRUE(lines[i].starts_with("talvenor-import run: " + numbers[i] + " rejected: contact "));
    EXPECT_EQ(Count(lines[i], "no Lees allowed"), 1u);
  }
}

TEST_F(CommandLineTarget, AnUnusableTargetSaysWhatToDo) {
  const std::string empty = (folder_ / "empty.db").string();
  std::ofstream(empty).close();  // 0 bytes
  const std::string partial = (folder_ / "partial.db").string();
  fs::copy_file(target_->path(), partial);
  Sql(partial, "DROP TABLE Rollup_Names; DROP TABLE Scripts;");
  const std::string bare = (folder_ / "bare.db").string();
  Sql(bare, "CREATE TABLE Other (x INTEGER)");
  const std::string missing = (folder_ / "missing.db").string();
  struct Case {
    std::string target, err;
  };
  for (const Case& c : std::vector<Case>{
           {missing, "The target database '" + missing +
                         "' does not exist; create it with: talvenor-import init " + missing},
           {empty, "The target database '" + empty +
                       "' holds none of the import's tables; create them with: "
                       "talvenor-import init " +
                       empty},
           {bare, "holds none of the import's tables"},
           {partial, "The target database '" + partial +
                         "' has no table Scripts, Rollup_Names; create the missing tables "
                         "with: talvenor-import init " +
                         partial},
       }) {
    SCOPED_TRACE(c.target);
    const ProgramRun run = RunProgram({"run", kFile, "--target", c.target, "--quiet"});
    EXPECT_EQ(run.exit, 69);
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    EXPECT_FALSE(Contains(run.err, "batch list could not be created")) << run.err;
  }
  EXPECT_FALSE(fs::exists(missing));
  // A file name with a blank is quoted in the command to type.
  const ProgramRun spaced =
      RunProgram({"run", kFile, "--target", "my target.db"}, {folder_.string(), ""});
  EXPECT_TRUE(Contains(spaced.err, "talvenor-import init 'my target.db'")) << spaced.err;
}

TEST_F(CommandLineTarget, ALockedTargetSaysSoAndHowLongTheRunWaited) {
  // Another program holds the write lock for longer than the run waits.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(target_->path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = RunProgram({"run", kFile, "--target", target_->path(), "--quiet"});
  const auto waited = std::chrono::steady_clock::now() - start;
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(run.exit, 75);  // a lock: try again later
  EXPECT_TRUE(Contains(run.err, "The target database '" + target_->path() +
                                    "' is locked by another program (waited 10 s)"))
      << run.err;
  EXPECT_GE(waited, std::chrono::seconds(9));
  EXPECT_LT(waited, std::chrono::seconds(13));  // one wait, not one per attempt
  auto db = target_->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 0);
}

TEST_F(CommandLineTarget, AnUnknownCatalogueIdIsNamedWithTheIdsThereAre) {
  for (const std::string id : {"Main Office", "Archive"}) {
    const ProgramRun added =
        RunProgram({"catalogue", "add", id, "x.db", "--folder", folder_.string()});
    ASSERT_EQ(added.exit, 0) << added.err;
  }
  const ProgramRun run =
      RunProgram({"run", kFile, "--database", "Nope", "--folder", folder_.string()});
  EXPECT_EQ(run.exit, 69);
  EXPECT_TRUE(Contains(run.err,
                       "no catalogue entry has the Database Id 'Nope'; the catalogue "
                       "holds: 'Archive', 'Main Office'"))
      << run.err;
}

// Passes once the import run honours ImportRequest::dry_run (one transaction,
// rolled back at the end).
TEST_F(CommandLineTarget, ADryRunWritesNothingAndCountsWhatARunWould) {
  const std::string before = Slurp(target_->path());
  const ProgramRun dry =
      RunProgram({"run", kFile, "--target", target_->path(), "--dry-run", "--json", "--quiet"});
  EXPECT_EQ(dry.exit, 0) << dry.err;
  EXPECT_TRUE(Contains(dry.out, R"("completed":true,"dry_run":true,)")) << dry.out;
  EXPECT_TRUE(Slurp(target_->path()) == before) << "the target's bytes changed";
  EXPECT_FALSE(fs::exists(target_->path() + "-wal"));

  const ProgramRun real =
      RunProgram({"run", kFile, "--target", target_->path(), "--json", "--quiet"});
  EXPECT_EQ(real.exit, 0) << real.err;
  std::string counts = dry.out;
  counts.erase(counts.find(R"("dry_run":true,)"), std::string_view(R"("dry_run":true,)").size());
  EXPECT_EQ(counts, real.out);

  const ProgramRun told = RunProgram({"run", kFile, "--target", target_->path(), "--dry-run"});
  EXPECT_TRUE(Contains(told.out, "Dry run: everything was rolled back and nothing was written."))
      << told.out;
}

TEST(CommandLineOdbc, AConnectionTextIsOneWhateverItsFirstWord) {
  TALVENOR_REQUIRE_PG();
  // The driver of the test cluster, pointed at a port where no server listens.
  const std::string text = talvenor::testing::PgConnectText();
  const std::string driver = text.substr(0, text.find(';'));
  ASSERT_TRUE(driver.starts_with("Driver=")) << text;
  const std::string unreachable = driver + ";Servername=127.0.0.1;Port=1;Database=none";
  const ProgramRun run = RunProgram({"run", kFile, "--target", unreachable, "--quiet"});
  EXPECT_EQ(run.exit, 69);
  // Every diagnostic, one a line under the summary, as init shows them.
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_GE(lines.size(), 2u) << run.err;
  EXPECT_EQ(lines[0], "talvenor-import run: ODBC--call failed.");
  EXPECT_TRUE(lines[1].starts_with("  ")) << run.err;
  EXPECT_TRUE(Contains(run.err, "127.0.0.1")) << run.err;
  EXPECT_FALSE(Contains(run.err, "Could not find file")) << run.err;

  const ProgramRun init = RunProgram({"init", unreachable});
  EXPECT_EQ(init.exit, 69);
  EXPECT_TRUE(Contains(init.err, "127.0.0.1")) << init.err;
}

TEST(CommandLineOdbc, ImportsIntoAServerNamedByItsDriver) {
  std::unique_ptr<TestTarget> target;
  TALVENOR_FRESH_TARGET(target, EngineKind::kPostgres);
  ASSERT_TRUE(target->path().starts_with("Driver=")) << target->path();
  const ProgramRun run = RunProgram({"run", kFile, "--target", target->path(), "--quiet"});
  EXPECT_EQ(run.exit, 0) << run.err;
  auto db = target->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 8);
}

// The command lines of the README's "Importing from the command line" block,
// each as a shell would run it.
std::vector<std::string> ReadmeCommands() {
  const std::string readme = Slurp(fs::path(TALVENOR_SOURCE_ROOT) / "README.md");
  const size_t section = readme.find("## Importing from the command line");
  const size_t block = readme.find("```sh\n", section);
  const size_t end = readme.find("```", block + 6);
  if (section == std::string::npos || block == std::string::npos || end == std::string::npos) {
    return {};
  }
  std::vector<std::string> commands;
  for (const std::string& line : Lines(readme.substr(block + 6, end - block - 6))) {
    if (!line.empty()) commands.push_back(line);
  }
  return commands;
}

TEST(Readme, CommandLineExamplesWorkAsWrittenFromAnyFolder) {
  const std::vector<std::string> commands = ReadmeCommands();
  ASSERT_GE(commands.size(), 3u);
  const fs::path folder = talvenor::testing::TestFolder();
  fs::copy_file(fs::path(TALVENOR_SOURCE_ROOT) / "examples" / "sample.csv", folder / "export.csv");
  // The program as the README types it: found on the PATH.
  const std::string bin = fs::path(TALVENOR_IMPORT_EXE).parent_path().string();
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(command.starts_with("talvenor-import "));
    const std::string script = "PATH='" + bin + "':\"$PATH\"; " + command;
    const ProgramRun run = testing::RunCommand({"/bin/sh", "-c", script}, {folder.string(), ""});
    EXPECT_EQ(run.exit, 0) << run.err << run.out;
  }
  // What the examples made is in the folder they ran in, and nowhere else.
  EXPECT_TRUE(fs::exists(folder / "target.db"));
  EXPECT_FALSE(fs::exists(fs::path(bin) / "target.db"));
  EXPECT_TRUE(fs::exists(folder / "multi.mdb"));
  EXPECT_TRUE(fs::exists(folder / "rejected.csv.why"));
  auto db = records::OpenTarget({(folder / "target.db").string()});
  ASSERT_TRUE(db.has_value());
  EXPECT_GT(talvenor::testing::ScalarNumber(**db, "SELECT COUNT(*) FROM Positions"), 0);
  (*db)->Close();
  fs::remove_all(folder);
}

}  // namespace
}  // namespace talvenor::app
