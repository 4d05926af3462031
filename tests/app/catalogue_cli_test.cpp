// Runs the real talvenor-import program: the encode and catalogue commands.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/do_path.h"
#include "records/operator.h"
#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace talvenor::app {
namespace {

namespace fs = std::filesystem;
using testing::Count;

using testing::Lines;
using testing::ProgramRun;
using testing::RunProgram;
using testing::Slurp;

TEST(EncodeCommand, BothFormsGiveTheTextBack) {
  const DecodeLibrary library = DecodeLibrary::Load(FolderOf(TALVENOR_IMPORT_EXE));
  ASSERT_TRUE(library.loaded());
  for (const std::string plain : {"ODBC;DSN=Sales;UID=sa;PWD=it's|secret",
                                  "ODBC;DRIVER={SQL Server};SERVER=db\\main;PWD=p\xC3\xA4ss", ""}) {
    SCOPED_TRACE(plain);
    const ProgramRun run = RunProgram({"encode", plain});
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::vector<std::string> forms = Lines(run.out);
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_TRUE(forms[0].starts_with("ODBC/") && !forms[0].starts_with("ODBC/||"));
    EXPECT_TRUE(forms[1].starts_with("ODBC/||"));
    EXPECT_EQ(forms[0].find("secret"), std::string::npos);
    for (const std::string& form : forms) {
      AppState state;
      std::string path = form;
      DoPath(state, path, library.functions());
      EXPECT_EQ(path, plain);
      EXPECT_EQ(state.TargetIsOdbc, 1);
    }
  }
}

TEST(EncodeCommand, Usage) {
  struct Case {
    std::vector<std::string> args;
    int exit;
    bool help_on_stdout;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"encode"}, 64, false},
           {{"encode", "a", "b"}, 64, false},
           {{"encode", "--help"}, 0, true},
           {{"encode", "ODBC;DSN=\xE6\x97\xA5"}, 65, false},  // no Windows-1252 form
       }) {
    SCOPED_TRACE(c.args.back());
    const ProgramRun run = RunProgram(c.args);
    EXPECT_EQ(run.exit, c.exit);
    EXPECT_EQ(run.out.find("Usage:") != std::string::npos, c.help_on_stdout);
    EXPECT_EQ(run.err.empty(), c.exit == 0);
  }
}

class CatalogueCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = talvenor::testing::TestFolder(); }
  void TearDown() override { fs::remove_all(folder_); }

  ProgramRun Catalogue(std::vector<std::string> args) {
    args.insert(args.begin(), "catalogue");
    args.push_back("--folder");
    args.push_back(folder_.string());
    return RunProgram(args);
  }

  fs::path folder_;
};

TEST_F(CatalogueCommandTest, AddListRemove) {
  const ProgramRun empty = Catalogue({"list"});
  EXPECT_EQ(empty.exit, 0) << empty.err;
  EXPECT_EQ(empty.out, "Database Id\tDatabase\tSync Path\n");
  EXPECT_FALSE(fs::exists(folder_ / "multi.mdb"));  // listing only reads

  for (const std::vector<std::string>& add : std::initializer_list<std::vector<std::string>>{
           {"add", "Sales", "sales.db", "/sync/sales"},
           {"add", "O'Brien", "ODBC;DSN=ob;PWD=x"},
           {"add", "archive", "/srv/Odbc-old/a.db", ""},
       }) {
    SCOPED_TRACE(add[1]);
    const ProgramRun run = Catalogue(add);
    EXPECT_EQ(run.exit, 0) << run.err;
  }
  const ProgramRun listed = Catalogue({"list"});
  EXPECT_EQ(listed.exit, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "Database Id\tDatabase\tSync Path\n"
            "archive\tODBC Database (Logon Hidden)\t\n"
            "O'Brien\tODBC Database (Logon Hidden)\t\n"
            "Sales\tsales.db\t/sync/sales\n");

  // The start-up look-up finds what the tool wrote, letter case ignored.
  struct NullOperator : records::Operator {
    void ShowMessage(std::string_view, std::string_view, records::MessageIcon) override {}
  } op;
  AppState state;
  state.AppFolder = folder_.string();
  EXPECT_TRUE(LookUpCommandLine(state, "O'Brien", op));
  EXPECT_EQ(state.TargetPath, "ODBC;DSN=ob;PWD=x");
  EXPECT_TRUE(LookUpCommandLine(state, "SALES", op));
  EXPECT_EQ(state.TargetPath, "sales.db");

  EXPECT_EQ(Catalogue({"add", "sales", "other.db"}).exit, 65);  // already there
  EXPECT_EQ(Catalogue({"remove", "O'Brien"}).exit, 0);
  EXPECT_EQ(Catalogue({"remove", "O'Brien"}).exit, 65);  // gone
  EXPECT_EQ(Lines(Catalogue({"list"}).out).size(), 3u);
}

// The shell's completion reads the ids; pressing Tab must not make a catalogue.
TEST_F(CatalogueCommandTest, ListsIdsOnlyWithoutMakingTheCatalogue) {
  const ProgramRun none = Catalogue({"list", "--ids"});
  EXPECT_EQ(none.exit, 0) << none.err;
  EXPECT_EQ(none.out, "");
  EXPECT_FALSE(fs::exists(folder_ / "multi.mdb"));
  ASSERT_EQ(Catalogue({"add", "Sales Office", "sales.db"}).exit, 0);
  ASSERT_EQ(Catalogue({"add", "archive", "ODBC;DSN=a"}).exit, 0);
  EXPECT_EQ(Catalogue({"list", "--ids"}).out, "archive\nSales Office\n");
}

TEST_F(CatalogueCommandTest, Usage) {
  struct Case {
    std::vector<std::string> args;
    int exit;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"catalogue"}, 64},
           {{"catalogue", "add", "OnlyId"}, 64},
           {{"catalogue", "remove"}, 64},
           {{"catalogue", "list", "extra"}, 64},
           {{"catalogue", "drop", "x"}, 64},
           {{"catalogue", "list", "--folder"}, 64},
           {{"catalogue", "list", "--verbose"}, 64},
           {{"catalogue", "--help"}, 0},
       }) {
    SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
    const ProgramRun run = RunProgram(c.args);
    EXPECT_EQ(run.exit, c.exit);
    // Help on stdout; a mistake as one line on stderr that points to it.
    if (c.exit == 0) {
      EXPECT_NE(run.out.find("Usage:"), std::string::npos) << run.out;
    } else {
      EXPECT_TRUE(run.err.starts_with("talvenor-import catalogue: ")) << run.err;
      EXPECT_TRUE(run.err.ends_with(" (see --help)\n")) << run.err;
    }
  }
  EXPECT_FALSE(fs::exists(folder_ / "multi.mdb"));
}

TEST_F(CatalogueCommandTest, UnwritableFolder) {
  const std::string missing = (folder_ / "no" / "such").string();
  const ProgramRun run = RunProgram({"catalogue", "add", "X", "x.db", "--folder", missing});
  EXPECT_EQ(run.exit, 73);
  EXPECT_NE(run.err.find("multi.mdb"), std::string::npos);
  EXPECT_EQ(RunProgram({"catalogue", "list", "--folder", missing}).exit, 69);
}

mode_t ModeOf(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST_F(CatalogueCommandTest, PasswordsAtRestAreOwnersOnlyOrEncoded) {
  const fs::path file = folder_ / "multi.mdb";
  const std::string kReadable = "can be read by other accounts";

  // A file the tool makes is its owner's alone; a plain password is warned of.
  const ProgramRun added = Catalogue({"add", "Prod", "ODBC;DSN=prod;UID=sa;PWD=s3cret"});
  ASSERT_EQ(added.exit, 0) << added.err;
  EXPECT_EQ(ModeOf(file), 0600u);
  EXPECT_EQ(Count(added.err, "keeps its password in plain text"), 1u) << added.err;
  EXPECT_EQ(Count(added.err, kReadable), 0u) << added.err;
  EXPECT_EQ(Count(added.err, "s3cret"), 0u) << added.err;

  // A file shared on purpose keeps its mode, and list and add say once that it
  // shows a password to others.
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  struct Case {
    std::vector<std::string> args;
    size_t readable, plain;
  };
  for (const Case& c : std::initializer_list<Case>{
           {{"list"}, 1, 0},
           {{"add", "Test", "ODBC;DSN=test;Password=x"}, 1, 1},
           {{"add", "Files", "jobs.db"}, 1, 0},
           {{"add", "Safe", "ODBC;DSN=safe;UID=u;PWD=hidden", "--encode"}, 1, 0},
       }) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const ProgramRun run = Catalogue(c.args);
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(Count(run.err, kReadable), c.readable) << run.err;
    EXPECT_EQ(Count(run.err, "keeps its password in plain text"), c.plain) << run.err;
  }
  EXPECT_EQ(ModeOf(file), 0644u);
  EXPECT_EQ(Slurp(file).find("hidden"), std::string::npos) << "the encoded entry is in plain";

  // The encoded entry is what the window and run --database use.
  struct NullOperator : records::Operator {
    void ShowMessage(std::string_view, std::string_view, records::MessageIcon) override {}
  } op;
  AppState state;
  state.AppFolder = folder_.string();
  ASSERT_TRUE(LookUpCommandLine(state, "Safe", op));
  EXPECT_TRUE(state.TargetPath.starts_with("ODBC/||")) << state.TargetPath;
  const DecodeLibrary library = DecodeLibrary::Load(FolderOf(TALVENOR_IMPORT_EXE));
  DoPath(state, state.TargetPath, library.functions());
  EXPECT_EQ(state.TargetPath, "ODBC;DSN=safe;UID=u;PWD=hidden");
}

TEST_F(CatalogueCommandTest, AnEncodedEntryIsImportedThrough) {
  std::unique_ptr<talvenor::testing::TestTarget> target;
  TALVENOR_FRESH_TARGET(target, talvenor::testing::EngineKind::kPostgres);
  const std::string text = "ODBC;" + target->path();
  ASSERT_EQ(Catalogue({"add", "Server", text, "--encode"}).exit, 0);
  EXPECT_EQ(Slurp(folder_ / "multi.mdb").find(target->path()), std::string::npos);
  const ProgramRun run =
      RunProgram({"run", talvenor::testing::DataFile("first_import.csv"), "--database", "Server",
                  "--folder", folder_.string(), "--quiet"});
  ASSERT_EQ(run.exit, 0) << run.err;
  auto db = target->Open();
  ASSERT_NE(db, nullptr);
  EXPECT_GT(talvenor::testing::ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 0);
}

TEST(RunCommand, NoOutputShowsAPassword) {
  const std::string secret = "s3cret-Pa55";
  const fs::path folder = talvenor::testing::TestFolder();
  const std::string file = talvenor::testing::DataFile("first_import.csv");
  const std::string rejects = (folder / "rejects.csv").string();
  for (const std::string& target :
       {"DRIVER={No Such Driver};SERVER=db;UID=sa;PWD=" + secret,
        "ODBC;DSN=nowhere;UID=sa;Password=" + secret,
        "Driver=" + fs::path(TALVENOR_IMPORT_EXE).string() + ";PWD={" + secret + ";x}"}) {
    for (const std::vector<std::string>& extra : std::initializer_list<std::vector<std::string>>{
             {}, {"--json"}, {"--json", "--rejects", rejects}, {"--dry-run"}}) {
      std::vector<std::string> args = {"run", file, "--target", target};
      args.insert(args.end(), extra.begin(), extra.end());
      SCOPED_TRACE(target + " " + std::to_string(extra.size()));
      const ProgramRun run = RunProgram(args);
      EXPECT_NE(run.exit, 0);
      EXPECT_EQ((run.out + run.err).find(secret), std::string::npos) << run.out << run.err;
      for (const char* written : {"rejects.csv", "rejects.csv.why"}) {
        EXPECT_EQ(Slurp(folder / written).find(secret), std::string::npos);
      }
    }
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace talvenor::app
