// Runs the real talvenor-import program's init command.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>

#include "app/cli/command.h"
#include "records/open_target.h"
#include "records/target_schema.h"
#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace talvenor::app::cli {
namespace {

namespace fs = std::filesystem;

class InitCommand : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = talvenor::testing::TestFolder(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  using Outcome = talvenor::app::testing::ProgramRun;

  static Outcome Run(const std::string& args) {
    return talvenor::app::testing::RunProgram(talvenor::app::testing::Words("init " + args));
  }

  std::string Path(std::string_view name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

TEST_F(InitCommand, CreatesTheSchemaThenFindsItThere) {
  const std::string target = Path("target.db");
  const Outcome first = Run(target);
  EXPECT_EQ(first.exit, kExitOk) << first.err;
  EXPECT_NE(first.out.find("Created in '" + target + "': Companies, Candidates"), std::string::npos)
      << first.out;
  {
    auto db = records::OpenTarget({target});
    ASSERT_TRUE(db.has_value());
    for (const std::string& table : records::TargetTableNames()) {
      EXPECT_TRUE((*db)->OpenRecordset(table, records::SetKind::kTable).has_value()) << table;
    }
  }
  const Outcome second = Run(target);
  EXPECT_EQ(second.exit, kExitOk);
  EXPECT_NE(second.out.find("Already there, left unchanged: Companies,"), std::string::npos);
  EXPECT_NE(second.out.find("nothing was changed"), std::string::npos) << second.out;
}

TEST_F(InitCommand, ExitCodesForUsageAndUnusableTargets) {
  std::ofstream(Path("junk.db")) << "no database here, just text long enough to be read\n";
  struct Case {
    std::string args;
    int exit_code;
    std::string_view err_part;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"", kExitUsage, "a TARGET is needed"},
           {"--frobnicate x.db", kExitUsage, "unknown option '--frobnicate'"},
           {"a.db b.db", kExitUsage, "unexpected argument 'b.db'"},
           {"--sql", kExitUsage, "--sql needs a value"},
           {"--sql oracle", kExitUsage, "unknown dialect 'oracle'"},
           {"--sql sqlite " + Path("x.db"), kExitUsage, "takes no TARGET"},
           {Path("no-such-folder") + "/t.db", kExitUnavailable, "is not a valid path"},
           {Path("junk.db"), kExitUnavailable, "Unrecognized database format"},
       }) {
    SCOPED_TRACE(c.args);
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.exit, c.exit_code);
    EXPECT_NE(o.err.find(c.err_part), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
  EXPECT_FALSE(fs::exists(Path("x.db")));
}

TEST_F(InitCommand, HelpGoesToStandardOutput) {
  const Outcome o = Run("--help");
  EXPECT_EQ(o.exit, kExitOk);
  EXPECT_TRUE(o.out.starts_with("Usage: talvenor-import init TARGET")) << o.out;
  EXPECT_EQ(o.err, "");
}

TEST_F(InitCommand, PrintsTheScriptOfEachDialect) {
  struct Case {
    std::string_view dialect, key_column;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"sqlite", "Company_Id INTEGER PRIMARY KEY AUTOINCREMENT"},
           {"postgres", "Company_Id BIGINT NOT NULL PRIMARY KEY"},
           {"--sql=sqlserver", "Company_Id BIGINT NOT NULL PRIMARY KEY"},
       }) {
    SCOPED_TRACE(c.dialect);
    const std::string args =
        c.dialect.starts_with("--") ? std::string(c.dialect) : "--sql " + std::string(c.dialect);
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit, kExitOk) << o.err;
    EXPECT_NE(o.out.find(c.key_column), std::string::npos);
    EXPECT_NE(o.out.find("CREATE UNIQUE INDEX Rollup_Names_Code ON Rollup_Names (Code);"),
              std::string::npos);
  }
}

TEST_F(InitCommand, TheSqliteScriptMakesAWorkingTarget) {
  // The printed script, run as it is, gives the same schema init creates.
  const Outcome script = Run("--sql sqlite");
  ASSERT_EQ(script.exit, kExitOk);
  auto db = records::CreateTarget({Path("scripted.db")});
  ASSERT_TRUE(db.has_value());
  size_t from = 0;
  for (size_t end; (end = script.out.find(";\n", from)) != std::string::npos; from = end + 2) {
    const std::string statement = script.out.substr(from, end - from);
    ASSERT_TRUE((*db)->Execute(statement)) << statement;
  }
  auto existing = records::CreateTargetSchema(**db, records::SqlDialect::kSqlite);
  ASSERT_TRUE(existing.has_value());
  EXPECT_EQ(*existing, records::TargetTableNames());
}

}  // namespace
}  // namespace talvenor::app::cli
