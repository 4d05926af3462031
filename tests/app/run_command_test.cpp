// Runs the real talvenor-import program: the run command against real
// targets.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
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

using testing::Lines;
using testing::ProgramRun;
using testing::RunProgram;
using testing::Slurp;

const std::string kFile = DataFile("first_import.csv");

// The summary of first_import.csv imported into an empty target.
constexpr std::string_view kFirstJson =
    R"({"outcome":"completed","completed":true,"lines_read":8,"blank_lines_skipped":0,)"
    R"("companies_created":6,)"
    R"("companies_matched":2,"contacts_created":7,"contacts_matched":1,)"
    R"("contact_slots_skipped":1,"positions_created":8,"positions_matched":0,"script_rows":4,)"
    R"("saves_failed":0,"lines_rejected":0,"batch_code":"CAR.0001","warning_count":0,)"
    R"("warnings":[]})"
    "\n";

class RunCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    target_ = TestTarget::Create(EngineKind::kSqlite, why);
    ASSERT_NE(target_, nullptr) << why;
    folder_ = fs::path(target_->path()).parent_path();
  }

  std::unique_ptr<TestTarget> target_;
  fs::path folder_;  // the target's temporary folder
};

TEST_F(RunCommandTest, ExitCodesTellWhatWentWrong) {
  const std::string target = target_->path();
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string err;  // part of stderr
  };
  for (const Case& c : std::vector<Case>{
           {{"run", "--help"}, 0, ""},
           {{"run", "--version"}, 0, ""},
           {{"run"}, 64, "talvenor-import run: FILE is required (see --help)\n"},
           {{"run", kFile}, 64, "either --target or --database"},
           {{"run", kFile, "--target"}, 64, "--target needs a value"},
           {{"run", kFile, "--target", target, "--database", "Main"}, 64, "either"},
           {{"run", kFile, "--target", target, "--bogus"}, 64, "unknown option '--bogus'"},
           {{"run", kFile, "--target", "--dry-run"},
            64,
            "--target needs a value, not the option '--dry-run'"},
           {{"run", kFile, "--target="}, 64, "--target needs a value"},
           {{"run", kFile, "--target", ""}, 64, "--target needs a database file path"},
           {{"run", kFile, "--target", target, "--rejects="}, 64, "--rejects needs a value"},
           {{"run", kFile, "--target", target, "--rejects", ""}, 64, "--rejects needs a file name"},
           {{"run", kFile, "--target", target, "--max-line-kib", "0"},
            64,
            "--max-line-kib needs a whole number of KiB from 1 to 1048576, not '0'"},
           {{"run", kFile, kFile, "--target", target}, 64, "unexpected argument '" + kFile + "'"},
           {{"run", DataFile("no_such_file.csv"), "--target", target},
            66,
            "No such file or directory"},
           {{"run", kFile, "--target", target + ".missing"},
            69,
            "The target database '" + target +
                ".missing' does not exist; create it with: "
                "talvenor-import init " +
                target + ".missing\n"},
           {{"run", kFile, "--database", "No Such Entry", "--folder", folder_.string()},
            69,
            "Database Entry Not Found"},
           {{"run", kFile, "--target", target, "--rejects", (folder_ / "no/such/dir").string()},
            73,
            "cannot write the rejects file"},
       }) {
    SCOPED_TRACE(c.args.size() > 2 ? c.args[2] : c.args.back());
    const ProgramRun run = RunProgram(c.args);
    EXPECT_EQ(run.exit, c.exit) << run.err;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
    if (c.exit == 0) {
      EXPECT_TRUE(run.out.starts_with("talvenor-import run") ||
                  run.out.starts_with("Usage: talvenor-import run"))
          << run.out;
    }
  }
  // None of the failures above wrote a batch list.
  auto db = target_->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 0);
}

TEST_F(RunCommandTest, PrintsTheProgressListThenTheSummary) {
  const ProgramRun run = RunProgram({"run", kFile, "--target", target_->path()});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no terminal: no progress bar
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
            (std::vector<std::string>{"Step1: Opening Target Database",
                                      "Step2: Begin Transferring Companies/Names",
                                      "Imported 8 Talvenor Records.", "Import Complete"}));
  for (std::string_view part :
       {"Data lines read:    8", "Companies:          6 created, 2 matched",
        "Contact persons:    7 created, 1 matched", "Positions:          8 created, 0 matched",
        "Script rows:        4", "Saves that failed:  0", "Lines rejected:     0",
        "Batch list:         CAR.0001"}) {
    EXPECT_TRUE(Contains(run.out, part)) << part;
  }

  // The list's lines go to stderr beside a JSON summary, and --quiet drops them.
  const ProgramRun json = RunProgram({"run", kFile, "--target", target_->path(), "--json"});
  EXPECT_EQ(json.exit, 0);
  EXPECT_TRUE(json.out.starts_with(R"({"outcome":"completed","completed":true,"lines_read":8,)"))
      << json.out;
  EXPECT_TRUE(Contains(json.out, R"("companies_created":0,"companies_matched":8,)")) << json.out;
  EXPECT_TRUE(Contains(json.err, "Import Complete"));
  const ProgramRun quiet =
      RunProgram({"run", kFile, "--target", target_->path(), "--json", "--quiet"});
  EXPECT_EQ(quiet.exit, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(Lines(quiet.out).size(), 1u);
}

TEST_F(RunCommandTest, RejectsKeepTheLinesWhoseRowsCouldNotBeStored) {
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(target_->path().c_str(), &raw), SQLITE_OK);
    const char* sql =
        "CREATE TRIGGER refuse_recruiter BEFORE INSERT ON Positions WHEN NEW.Job_Title = "
        "'Recruiter' BEGIN SELECT RAISE(ABORT, 'no recruiters'); END;"
        "CREATE TRIGGER refuse_martin BEFORE INSERT ON Candidates WHEN NEW.Last_Name = "
        "'Martin' BEGIN SELECT RAISE(ABORT, 'no Martins'); END;";
    ASSERT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  }
  const fs::path rejects = folder_ / "rejects.csv";
  const ProgramRun run =
      RunProgram({"run", kFile, "--target", target_->path(), "--rejects", rejects.string()});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Lines rejected:     2"));
  EXPECT_TRUE(Contains(run.out, rejects.string() + " (reasons in " + rejects.string() + ".why)"))
      << run.out;
  EXPECT_TRUE(Contains(run.err, "no recruiters")) << run.err;

  // The rejected lines exactly as the file holds them, each ended by CRLF.
  std::vector<std::string> file_lines;
  const std::string data = Slurp(kFile);
  for (size_t at = 0, end; at <= data.size(); at = end + 2) {
    end = data.find("\r\n", at);
    if (end == std::string::npos) end = data.size();
    file_lines.push_back(data.substr(at, end - at));
  }
  ASSERT_EQ(file_lines.size(), 10u);
  EXPECT_EQ(Slurp(rejects), file_lines[4] + "\r\n" + file_lines[7] + "\r\n");
  const std::vector<std::string> why = Lines(Slurp(rejects.string() + ".why"));
  ASSERT_EQ(why.size(), 2u);
  EXPECT_TRUE(why[0].starts_with("line 4 (file line 5): position not stored: ")) << why[0];
  EXPECT_TRUE(Contains(why[0], "no recruiters")) << why[0];
  EXPECT_TRUE(why[1].starts_with("line 6 (file line 8): contact 1 (Gisèle Martin) not stored: "))
      << why[1];

  // The same again, strictly: the lines are still rejected (the rules still
  // refuse them), and the exit code says so.
  const ProgramRun strict = RunProgram({"run", kFile, "--target", target_->path(), "--strict",
                                        "--quiet", "--rejects", rejects.string()});
  EXPECT_EQ(strict.exit, 65) << strict.err;
  EXPECT_EQ(Lines(Slurp(rejects.string() + ".why")).size(), 2u);
}

TEST_F(RunCommandTest, FindsTheTargetThroughTheCatalogueAndTheProgramFolder) {
  // A bare file name means a file in the program's folder, here --folder.
  const std::string bare = fs::path(target_->path()).filename().string();
  const ProgramRun added =
      RunProgram({"catalogue", "add", "Main Office", bare, "--folder", folder_.string()});
  ASSERT_EQ(added.exit, 0) << added.err;

  const ProgramRun run = RunProgram({"run", kFile, "--database", "Main Office", "--folder",
                                     folder_.string(), "--json", "--quiet"});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.out, kFirstJson);

  // A bare name given with --target is a file in the current folder, as any
  // path on a command line; --folder does not move it.
  const fs::path elsewhere = folder_ / "elsewhere";
  fs::create_directories(elsewhere);
  const ProgramRun missing =
      RunProgram({"run", kFile, "--target", bare, "--folder", folder_.string(), "--quiet"},
                 {elsewhere.string(), ""});
  EXPECT_EQ(missing.exit, 69) << missing.err;
  EXPECT_TRUE(Contains(missing.err, "'" + bare + "' does not exist")) << missing.err;
  EXPECT_FALSE(fs::exists(elsewhere / bare));
  const ProgramRun again =
      RunProgram({"run", kFile, "--target", bare, "--quiet"}, {folder_.string(), ""});
  EXPECT_EQ(again.exit, 0) << again.err;
  EXPECT_TRUE(Contains(again.out, "Batch list:         CAR.0002")) << again.out;
}

TEST(RunCommandOdbc, ImportsIntoAServerGivenAsAConnectionText) {
  std::unique_ptr<TestTarget> target;
  TALVENOR_FRESH_TARGET(target, EngineKind::kPostgres);
  const ProgramRun run =
      RunProgram({"run", kFile, "--target", "ODBC;" + target->path(), "--json", "--quiet"});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.out, kFirstJson);
  auto db = target->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 8);
}

}  // namespace
}  // namespace talvenor::app

namespace talvenor::app {
namespace {

std::string WriteExport(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

// A file of another kind exits 65 and leaves the target as it was; --force
// imports it; preview refuses it the same way.
TEST_F(RunCommandTest, AFileOfAnotherKindExits65AndWritesNothing) {
  const std::string gzip = WriteExport(folder_ / "export.csv.gz", "\x1F\x8B\x08\x00 rest");
  std::string three = "name,email,phone\n";
  for (int i = 0; i < 50; ++i) three += "Person,p@x,555\n";
  const std::string columns = WriteExport(folder_ / "people.csv", three);
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string err;
    std::string piped;  // standard input from a pipe that carries these bytes
  };
  for (const Case& c : std::vector<Case>{
           {{"run", "-", "--target", target_->path()}, 65, "this is a gzip file", Slurp(gzip)},
           {{"preview", "-"}, 65, "this is a gzip file", Slurp(gzip)},
           {{"run", "/dev/zero", "--target", target_->path()}, 65, "control character 0x00", ""},
           {{"run", gzip, "--target", target_->path()}, 65, "this is a gzip file", ""},
           {{"run", columns, "--target", target_->path(), "--json"},
            65,
            "line 1 has 3 fields; an export line has 39",
            ""},
           {{"preview", gzip}, 65, "this is a gzip file", ""},
           {{"preview", columns, "--force"}, 0, "", ""},
       }) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ProgramRun run;
    if (c.piped.empty()) {
      run = RunProgram(c.args);
    } else {
      // A FIFO as standard input; the bytes fit in its buffer, so the
      // writer never waits on a reader that has gone.
      const fs::path fifo = folder_ / "pipe";
      fs::remove(fifo);
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
      std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << c.piped; });
      run = RunProgram(c.args, {"", fifo.string()});
      writer.join();
    }
    EXPECT_EQ(run.exit, c.exit) << run.err;
    EXPECT_TRUE(Contains(run.err, c.err)) << run.err;
  }
  auto db = target_->Open();
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 0);
  db->Close();
  const ProgramRun json =
      RunProgram({"run", columns, "--target", target_->path(), "--json", "--quiet"});
  EXPECT_TRUE(Contains(json.out, R"("outcome":"file refused")")) << json.out;
  const ProgramRun forced =
      RunProgram({"run", columns, "--target", target_->path(), "--force", "--quiet"});
  EXPECT_EQ(forced.exit, 0) << forced.err;
}

// An export whose tail is a run of zero bytes with no line end (a sparse
// file): the lines before it are stored, the run ends, memory stays small.
TEST_F(RunCommandTest, AnEndlessLineIsReadPastInBoundedMemory) {
  const fs::path file = folder_ / "tail.csv";
  const fs::path rejects = folder_ / "rejects.csv";
  constexpr uintmax_t kTail = uintmax_t{256} << 20;
  // Eight copies of the sample: more text than the file check looks at.
  std::string good;
  for (int i = 0; i < 8; ++i) {
    good += Slurp(fs::path(TALVENOR_SOURCE_ROOT) / "examples" / "sample.csv") + "\r\n";
  }
  WriteExport(file, good);
  fs::resize_file(file, fs::file_size(file) + kTail);
  const ProgramRun run = RunProgram({"run", file.string(), "--target", target_->path(), "--quiet",
                                     "--rejects", rejects.string()});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "Data lines read:    241")) << run.out;
  EXPECT_TRUE(Contains(run.out, "Lines rejected:     1")) << run.out;
  EXPECT_TRUE(Contains(run.err, "line 241 (file line 249) rejected: the line has " +
                                    std::to_string(kTail) + " bytes, more than the 1048576"))
      << run.err;
  EXPECT_LT(run.max_rss_kib, 128 * 1024);
  EXPECT_EQ(Slurp(rejects), "");  // only its reason is kept, in the .why file
}

// A date that names no date is a warning, once, on stderr, in the JSON and in
// the reasons file; the line is stored and not rejected.
TEST_F(RunCommandTest, DatesThatNameNoDateAreWarnedOf) {
  const std::string file =
      WriteExport(folder_ / "dates.csv", "Nurse,Boston,,2/31/2026,,Acme" + std::string(33, ',') +
                                             "\r\nPorter,Boston,,12/8/2026,,Acme" +
                                             std::string(33, ',') + "\r\n");
  const std::string rejects = (folder_ / "rejects.csv").string();
  const ProgramRun run = RunProgram(
      {"run", file, "--target", target_->path(), "--json", "--quiet", "--rejects", rejects});
  EXPECT_EQ(run.exit, 0) << run.err;
  const std::string warning = R"(line 1 (file line 1): Date_Posted \"2/31/2026\" is no date)";
  EXPECT_TRUE(Contains(run.out, R"("warning_count":1,"warnings":[")")) << run.out;
  EXPECT_TRUE(Contains(run.out, warning)) << run.out;
  EXPECT_TRUE(Contains(run.out, R"("lines_rejected":0)")) << run.out;
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_TRUE(Contains(run.err, "warning: line 1 (file line 1): Date_Posted \"2/31/2026\""))
      << run.err;
  EXPECT_TRUE(Contains(Slurp(rejects + ".why"), "Date_Posted \"2/31/2026\" is no date"));
  EXPECT_EQ(Slurp(rejects), "");  // the line itself was stored
  auto db = target_->Open();
  EXPECT_EQ(talvenor::testing::ScalarNumber(
                *db, "SELECT COUNT(*) FROM Positions WHERE Date_Posted IS NULL"),
            1);
  EXPECT_EQ(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 2);
  db->Close();
}

}  // namespace
}  // namespace talvenor::app
