// Runs the real talvenor-import program.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "tests/app/program_run.h"
#include "tests/support/targets.h"

namespace {

using Outcome = talvenor::app::testing::ProgramRun;

Outcome RunProgram(const std::string& args) {
  return talvenor::app::testing::RunProgram(talvenor::app::testing::Words(args));
}

using talvenor::testing::DataPath;

constexpr std::string_view kEmptyContact =
    R"("name":null,"first":"","middle":"","last":"","skipped":true,"title":"",)"
    R"("phone":"(___) ___-____  Ex. _____","fax":"(___) ___-____  Ex. _____","email":"")";

TEST(PreviewCommand, PrintsOneJsonObjectPerDataLine) {
  const Outcome run = RunProgram("preview " + DataPath("preview_small.csv"));
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.err, "");
  const std::string empty(kEmptyContact);
  const std::string want =
      // The header and the empty line are skipped; the last line has no line end.
      R"({"line":1,"fields":["Sales Manager","Boston","02134","12/1/2026","a\tb\"c\\d",)"
      R"("Acme, Inc.","1 Main St","Boston","MA","02134","1-617-555-1212","617.555.1313","",)"
      R"("info@acme.com","Smith, John, Jr.","Director","617-555-1000 x12","","jsmith@acme.com",)"
      R"("Cher","Singer","","","cher@example.com","","","","","","","","","","",)"
      R"("Dr. Ann Lee","VP","555-1234","","ann@acme.com"],)"
      R"("company":{"name":"Acme, Inc.","phone":"(617) 555-1212  Ex. _____",)"
      R"("fax":"(617) 555-1313  Ex. _____"},"contacts":[)"
      R"({"slot":0,"name":"John Smith","first":"John","middle":"","last":"Smith",)"
      R"("skipped":false,"title":"Director","phone":"(617) 555-1000  Ex. 12___",)"
      R"("fax":"(___) ___-____  Ex. _____","email":"jsmith@acme.com"},)"
      R"({"slot":1,"name":"Cher","first":"","middle":"","last":"","skipped":true,)"
      R"("title":"Singer","phone":"(___) ___-____  Ex. _____",)"
      R"("fax":"(___) ___-____  Ex. _____","email":"cher@example.com"},)"
      R"({"slot":2,)" +
      empty + R"(},{"slot":3,)" + empty + "}," +
      R"({"slot":4,"name":"Ann Lee","first":"Ann","middle":"","last":"Lee","skipped":false,)"
      R"("title":"VP","phone":"(___) 555-1234  Ex. _____","fax":"(___) ___-____  Ex. _____",)"
      R"("email":"ann@acme.com"}],)"
      R"("position":{"title":"Sales Manager","city":"Boston","zip":"02134",)"
      R"("date_posted":"12/1/2026"},"physical_line":2})"
      "\n"
      R"({"line":2,"fields":["Nurse","Springfield"],"company":{"name":"",)"
      R"("phone":"(___) ___-____  Ex. _____","fax":"(___) ___-____  Ex. _____"},"contacts":[)"
      R"({"slot":0,)" +
      empty + R"(},{"slot":1,)" + empty + R"(},{"slot":2,)" + empty + R"(},{"slot":3,)" + empty +
      R"(},{"slot":4,)" + empty + "}]," +
      R"("position":{"title":"Nurse","city":"Springfield","zip":"","date_posted":""},)"
      R"("physical_line":4})"
      "\n";
  EXPECT_EQ(run.out, want);
}

TEST(PreviewCommand, ExitCodesAndMessages) {
  struct Case {
    std::string args;
    int exit_code;
    std::string_view out_starts;
    std::string err_starts;
  };
  const std::string missing = testing::TempDir() + "missing.csv";
  for (const Case& c : std::initializer_list<Case>{
           {"preview --help", 0, "Usage: talvenor-import preview FILE", ""},
           {"preview -h", 0, "Usage: talvenor-import preview FILE", ""},
           {"preview --version", 0, "talvenor-import preview ", ""},
           {"preview", 64, "", "talvenor-import preview: FILE is required (see --help)\n"},
           {"preview a.csv b.csv", 64, "", "talvenor-import preview: unexpected argument 'b.csv'"},
           {"preview --fast a.csv", 64, "", "talvenor-import preview: unknown option '--fast'"},
           {"preview " + missing, 66, "",
            "talvenor-import preview: cannot open " + missing + ": No such file or directory\n"},
           {"preview " + testing::TempDir(), 66, "", "talvenor-import preview: cannot open"},
           {"preview /proc/self/mem", 66, "", "talvenor-import preview: cannot read"},
       }) {
    SCOPED_TRACE(c.args);
    const Outcome run = RunProgram(c.args);
    EXPECT_EQ(run.exit, c.exit_code);
    EXPECT_TRUE(run.out.starts_with(c.out_starts)) << run.out;
    EXPECT_TRUE(run.err.starts_with(c.err_starts)) << run.err;
    if (c.exit_code != 0) {
      EXPECT_EQ(run.out, "");
    }
    // Every message is one line.
    if (!run.err.empty()) {
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
  }
}

}  // namespace
