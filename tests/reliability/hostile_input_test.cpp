// Export files no exporter should write: SQL look-alikes in every stored
// field, NUL bytes, invalid UTF-8, binary garbage, a 10 MB line, lines of
// only commas or quotes, 10,000 fields. The import must finish, store each
// value as the file gives it (after decoding) and let no value change what a
// statement does. The same for malformed connection texts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/do_path.h"
#include "import/import_run.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"
#include "text/phone_format.h"
#include "text/utf8.h"

namespace talvenor::reliability {
namespace {

using testing::EngineKind;
using testing::ScalarNumber;
using testing::ScalarText;
using testing::TestTarget;

// Texts that would change a statement built by joining text, or that an
// engine or driver might read as its own syntax: quotes, comment and
// statement ends, wildcards, ODBC escapes, Jet literals and functions. Each
// fits the narrowest column it is put into below (10 characters and up).
const std::vector<std::string> kHostile = {
    "O'Brien';--",
    "a\\'; DROP TABLE Companies; --",
    "%' OR '1'='1",
    "*?_[!a]#",
    "{guid {12345678-1234-1234-1234-123456789ABC}}",
    "{fn NOW()} {d '2026-01-01'} {ts '2026-01-01 00:00:00'}",
    "Date() & Time() & Now()",
    "x'' + ''y \\\\ ? :p $1 @v",  // ("|" is the file's own separator)
    "\\",
    "'",
    "''",
    "--",
    ";",
    "say \"quoted\" text",  // a quote opening a field would enclose it
};

// A line of 39 fields; every field not given is empty.
std::string Line(const std::vector<std::pair<size_t, std::string>>& fields) {
  std::vector<std::string> f(39);
  for (const auto& [at, value] : fields) f[at] = value;
  std::string line;
  for (size_t i = 0; i < f.size(); ++i) {
    if (i > 0) line += ',';
    line += f[i];
  }
  return line;
}

// The phone of hostile line i, which also finds its company again.
std::string Phone(size_t i) { return "212-555-" + std::to_string(1000 + i); }

std::string HostileLine(size_t i, const std::string& v) {
  // Column sizes: company name, address 50, city 30, state 20, zip 10,
  // e-mail 60; job title 60, city 30, zip 10; contact title 50, e-mail 60.
  return Line({{0, "Hostile " + std::to_string(i) + " " + v},
               {1, v},
               {2, v.substr(0, 10)},
               {5, v},
               {6, v},
               {7, v},
               {8, v.substr(0, 20)},
               {9, v.substr(0, 10)},
               {10, Phone(i)},
               {13, v},
               {14, "Ann Hostile" + std::string(i, 'x')},
               {15, v},
               {16, "617-555-" + std::to_string(2000 + i)},
               {18, v}});
}

class HostileInput : public ::testing::TestWithParam<EngineKind> {
 protected:
  void SetUp() override { TALVENOR_FRESH_TARGET(target_, GetParam()); }

  import::ImportSummary Run(const std::string& contents, bool force = false) {
    const std::filesystem::path file = testing::TempPath("hostile.csv");
  {
    std::ofstream out(file, std::ios::binary);
    out << contents;
  }
  testing::FakeClock clock;
  records::ClockCache cache;
  import::ImportServices services{op_, clock, cache, progress_};
  import::ImportRequest request{file.string(), target_->address()};
  request.force = force;
  // Lines of up to 16 MiB, so that a 10 MB field reaches its column.
  request.max_line_bytes = size_t{16} << 20;
  auto summary = import::RunImport(request, services);
  std::filesystem::remove(file);
  return summary;
}

testing::RecordingOperator op_;
testing::RecordingProgress progress_;
std::unique_ptr<TestTarget> target_;
};  // namespace

TEST_P(HostileInput, StoresSqlLookAlikesVerbatim) {
  std::string file = "JOBTITLE\r\n";
  for (size_t i = 0; i < kHostile.size(); ++i) file += HostileLine(i, kHostile[i]) + "\r\n";
  // The same lines again: every look-up must find what the first pass stored.
  for (size_t i = 0; i < kHostile.size(); ++i) file += HostileLine(i, kHostile[i]) + "\r\n";
  const import::ImportSummary summary = Run(file);
  ASSERT_EQ(summary.outcome, import::RunOutcome::kCompleted) << summary.message;
  EXPECT_EQ(summary.counts.lines_rejected, 0);
  EXPECT_TRUE(op_.messages.empty()) << op_.messages.front().text;
  const long n = long(kHostile.size());
  EXPECT_EQ(summary.counts.companies_created, n);
  EXPECT_EQ(summary.counts.companies_matched, n);
  EXPECT_EQ(summary.counts.contacts_created, n);
  EXPECT_EQ(summary.counts.contacts_matched, n);
  EXPECT_EQ(summary.counts.positions_created, n);
  EXPECT_EQ(summary.counts.positions_matched, n);

  auto db = target_->Open();
  ASSERT_NE(db, nullptr);
  for (size_t i = 0; i < kHostile.size(); ++i) {
    const std::string& v = kHostile[i];
    SCOPED_TRACE(v);
    // Rows are found by texts the test controls, never by the hostile ones.
    const std::string company = " FROM Companies WHERE Phone='" + text::FormatPhone(Phone(i)) + "'";
    const std::string position =
        " FROM Positions WHERE Company_Id=(SELECT Company_Id" + company + ")";
    const std::string contact =
        " FROM Candidates WHERE Company_Id=(SELECT Company_Id" + company + ")";
    struct Case {
      std::string sql, want;
    };
    const auto cut = [&](size_t size) { return std::string(text::Utf8Prefix(v, size)); };
    for (const Case& c : std::vector<Case>{
             {"SELECT Company_Name" + company, cut(50)},
             {"SELECT Address_1" + company, cut(50)},
             {"SELECT City" + company, cut(30)},
             {"SELECT State" + company, cut(20)},
             {"SELECT Zip" + company, cut(10)},
             {"SELECT Email_Address" + company, v},
             {"SELECT Job_Title" + position,
              std::string(text::Utf8Prefix("Hostile " + std::to_string(i) + " " + v, 60))},
             {"SELECT City" + position, cut(30)},
             {"SELECT Zip" + position, cut(10)},
             {"SELECT Title" + contact, cut(50)},
             {"SELECT Email_Address" + contact, v},
             {"SELECT Description FROM Scripts WHERE Job_Id=(SELECT Job_Id" + position + ")", v},
         }) {
      SCOPED_TRACE(c.sql);
      EXPECT_EQ(ScalarText(*db, c.sql), c.want);
    }
  }
  // No statement did more than its own row.
  for (const char* table : {"Companies", "Candidates", "Positions", "Scripts", "Company_Activity",
                            "Candidate_Activity", "Position_Activities"}) {
    SCOPED_TRACE(table);
    EXPECT_EQ(ScalarNumber(*db, std::string("SELECT COUNT(*) FROM ") + table), n);
  }
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 1);
}

TEST_P(HostileInput, MalformedLinesEndTheRunNormally) {
  std::mt19937 random(20260108);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) c = char(random() & 0xFF);
  std::string many_fields;
  // (A valid date: a server refuses a position whose date it cannot read.)
  for (int i = 0; i < 10000; ++i)
    many_fields += i == 3 ? "1/5/2026," : "f" + std::to_string(i) + ",";

  struct Case {
    const char* what;
    std::string line;
  };
  const std::vector<Case> lines = {
      {"NUL bytes", Line({{0, std::string("Nul\0Job", 7)},
                          {5, std::string("N\0ul Co", 7)},
                          {10, "212-555-0001"}})},
      {"Windows-1252",
       Line({{0, "Caf\xE9 Job"}, {5, "M\xFCller \x80 GmbH"}, {10, "212-555-0002"}})},
      {"invalid UTF-8", Line({{0, "Bad \xC3\x28 \xF0\x9F Job"}, {5, "\xFF\xFE Co"}})},
      {"10 MB field", Line({{0, std::string(10 * 1024 * 1024, 'J')}, {5, "Big Co"}})},
      {"binary garbage", garbage},
      {"only commas", std::string(5000, ',')},
      {"only quotes", std::string(5000, '"')},
      {"quotes and commas", "\",\",\",\"\",,\"\"\""},
      {"10,000 fields", many_fields},
      {"a lone quote", "\""},
      {"a lone blank", " "},
  };
  std::string file;
  long data_lines = 0;
  for (const Case& c : lines) {
    file += c.line + "\r\n";
    ++data_lines;
  }
  // Garbage that holds line ends of its own makes more lines than one.
  for (char c : garbage) data_lines += c == '\r' ? 1 : 0;
  // Binary garbage makes a file no export file; forced, this one is imported
  // line by line (its first 64 KiB are mostly text, so it passes the check
  // all the same).
  EXPECT_EQ(Run(garbage).outcome, import::RunOutcome::kFileRefused);
  const import::ImportSummary summary = Run(file, /*force=*/true);
  ASSERT_EQ(summary.outcome, import::RunOutcome::kCompleted) << summary.message;
  ASSERT_FALSE(progress_.list.empty());
  EXPECT_EQ(progress_.list.back(), "Import Complete");
  EXPECT_GE(summary.counts.lines_read, long(lines.size()) - 2);  // a blank line is no data line
  EXPECT_LE(summary.counts.lines_read, data_lines);

  auto db = target_->Open();
  ASSERT_NE(db, nullptr);
  struct Stored {
    std::string sql, want;
  };
  for (const Stored& s : std::vector<Stored>{
           // NUL bytes are dropped; a line that is not UTF-8 is Windows-1252.
           {"SELECT Company_Name FROM Companies WHERE Phone='" + text::FormatPhone("212-555-0001") +
                "'",
            "Nul Co"},
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='NulJob'", "1"},
           {"SELECT Company_Name FROM Companies WHERE Phone='" + text::FormatPhone("212-555-0002") +
                "'",
            "M\xC3\xBCller \xE2\x82\xAC GmbH"},
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='Caf\xC3\xA9 Job'", "1"},
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='Bad \xC3\x83( \xC3\xB0\xC5\xB8 Job'",
            "1"},
           // A 10 MB title is cut to its column.
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='" + std::string(60, 'J') + "'", "1"},
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='f0' AND City='f1'", "1"},
       }) {
    SCOPED_TRACE(s.sql);
    EXPECT_EQ(ScalarText(*db, s.sql), s.want);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileInput,
                         ::testing::Values(EngineKind::kSqlite, EngineKind::kPostgres),
                         [](const ::testing::TestParamInfo<EngineKind>& engine) {
                           return testing::EngineName(engine.param);
                         });

// Connection texts a catalogue entry or a saved selection may hold, however
// malformed: DoPath always ends with a text, and the ODBC forms stay ODBC.
TEST(HostileConnectionText, DoPathNeverFailsOnMalformedOdbcForms) {
  app::DecodeFunctions none;  // a library that could not be loaded
  std::string huge = "ODBC/||" + std::string(1 << 20, 'A');
  struct Case {
    std::string text;
    int odbc;
  };
  for (const Case& c : std::vector<Case>{
           {"ODBC/", 1},
           {"ODBC/||", 1},
           {"ODBC/||=", 1},
           {"ODBC/||====", 1},
           {"ODBC/||!!not base64!!", 1},
           {"ODBC/||QUJD\xFF\xFE", 1},
           {"ODBC/\xE6\x97\xA5\xE6\x9C\xAC", 1},  // no single-byte form
           {"ODBC/" + std::string(1, '\0') + "x", 1},
           // Only a connection text or an encoded one is ODBC; these are paths.
           {"odbc/||abc", 0},
           {"xODBC", 0},
           {"odbc;", 1},
           {";;DSN=;;", 1},
           {"DRIVER", 0},
           {huge, 1},
           {"/", 0},
           {"\\", 0},
           {"", 0},
           {"a|b;c", 0},
       }) {
    SCOPED_TRACE(c.text.substr(0, 40));
    for (const bool library : {false, true}) {
      app::AppState state;
      state.AppFolder = "/opt/talvenor";
      std::string path = c.text;
      if (library) {
        app::DoPath(state, path);  // the real library, when it can be loaded
      } else {
        app::DoPath(state, path, none);
      }
      EXPECT_EQ(state.TargetIsOdbc, c.odbc);
      EXPECT_LE(path.size(), c.text.size() + state.AppFolder.size() + 1);
    }
  }
}

}  // namespace talvenor::reliability
}  // namespace talvenor::reliability
