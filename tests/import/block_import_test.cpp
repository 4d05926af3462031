// A server import resolves its lines in blocks; what it stores must be what
// the same lines store one by one. Both are run on PostgreSQL, whose look-up
// columns ignore letter case, and the targets compared row by row, each key
// replaced by what its record is looked up by.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "records/open_target.h"
#include "tests/import/export_file.h"
#include "tests/support/fake_clock.h"
#include "tests/support/forwarding_database.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"

namespace talvenor::import::testing {

using namespace talvenor::testing;
namespace {

using records::Database;

// An export line: job title, city, company, phone, then (name, title, phone,
// e-mail) per contact.
std::string ExportLineOf(std::string_view job, std::string_view city, std::string_view company,
                         std::string_view phone,
                         std::vector<std::array<std::string_view, 4>> contacts = {}) {
  std::string line = std::string(job) + "," + std::string(city) + ",02134,1/5/2026,," +
                     std::string(company) + ",1 Main St,Boston,MA,02134," + std::string(phone) +
                     ",,,hr@example.org";
  for (size_t slot = 0; slot < 5; ++slot) {
    if (slot < contacts.size()) {
      const auto& c = contacts[slot];
      line += "," + std::string(c[0]) + "," + std::string(c[1]) + "," + std::string(c[2]) + ",," +
              std::string(c[3]);
    } else {
      line += ",,,,,";
    }
  }
  return line + "\r\n";
}

constexpr std::string_view kHeader =
    "JOBTITLE,JOBCITY,JOBZIP,DATEPOSTED,SOURCE,COMPANY,ADDRESS,CITY,STATE,ZIP,PHONE,FAX,URL,EMAIL,"
    "C1NAME,C1TITLE,C1PHONE,C1FAX,C1EMAIL,C2NAME,C2TITLE,C2PHONE,C2FAX,C2EMAIL,C3NAME,C3TITLE,"
    "C3PHONE,C3FAX,C3EMAIL,C4NAME,C4TITLE,C4PHONE,C4FAX,C4EMAIL,C5NAME,C5TITLE,C5PHONE,C5FAX,"
    "C5EMAIL\r\n";

// Every row the import writes, its keys replaced by the texts its records
// are looked up by, and the order of each table's keys.
std::vector<std::string> Contents(Database& db) {
  std::vector<std::string> rows;
  for (const char* sql : {
           "SELECT p.First_Name, p.Last_Name, p.Title, p.Work_Phone, p.Middle_Init, "
           "c.Company_Name, "
           "c.Phone FROM Candidates p LEFT JOIN Companies c ON c.Company_Id = p.Company_Id",
           "SELECT j.Job_Title, j.City, j.Contact_Name, c.Company_Name, c.Phone, p.First_Name, "
           "p.Title FROM Positions j LEFT JOIN Companies c ON c.Company_Id = j.Company_Id LEFT "
           "JOIN Candidates p ON p.Candidate_Id = j.Candidate_Id",
           "SELECT j.Job_Title, j.City, s.Description FROM Scripts s JOIN Positions j ON "
           "j.Job_Id = s.Job_Id",
           "SELECT c.Company_Name, c.Phone, a.Act_Type FROM Company_Activity a "
           "JOIN Companies c ON c.Company_Id = a.Company_Id",
           "SELECT p.First_Name, p.Title, p.Work_Phone FROM Candidate_Activity a JOIN Candidates p "
           "ON p.Candidate_Id = a.Candidate_Id",
           "SELECT j.Job_Title, j.City, a.Act_Type FROM Position_Activities a JOIN Positions j ON "
           "j.Job_Id = "
           "a.Position_Id",
           "SELECT c.Company_Name, c.Phone, r.Rollup_Name FROM RollupC_Records r JOIN Companies c "
           "ON c.Company_Id = r.Company_Id",
           "SELECT p.First_Name, p.Title, r.Rollup_Name FROM Rollup_Records r JOIN Candidates p ON "
           "p.Candidate_Id = r.Candidate_Id",
           "SELECT j.Job_Title, j.City, r.Rollup_Name FROM RollupP_Records r JOIN Positions j ON "
           "j.Job_Id = r.Job_Id",
           "SELECT Company_Name, Phone, row_number() OVER (ORDER BY Company_Id) FROM Companies",
           "SELECT First_Name, Title, row_number() OVER (ORDER BY Candidate_Id) FROM Candidates",
           "SELECT Job_Title, City, row_number() OVER (ORDER BY Job_Id) FROM Positions",
       }) {
    auto read = db.ReadRows(std::string(sql) + " ORDER BY 1, 2, 3");
    EXPECT_TRUE(read.has_value()) << sql;
    if (!read) continue;
    std::vector<std::string> table;
    for (const auto& row : read->rows) {
      std::string text;
      for (const records::Value& v : row) text += (v.IsNull() ? "<null>" : v.ToText()) + "|";
      table.push_back(std::move(text));
    }
    rows.push_back(std::string(sql).substr(0, 40) + ": " + std::to_string(table.size()));
    rows.insert(rows.end(), table.begin(), table.end());
  }
  return rows;
}

struct Imported {
  ImportSummary summary;
  std::vector<std::string> lines;  // each line's problems and warnings
};

Imported Import(const TestTarget& target, const std::string& file, bool one_by_one) {
  RecordingOperator op;
  RecordingProgress progress;
  FakeClock clock;
  records::ClockCache cache;
  ImportServices services{op, clock, cache, progress};
  const ImportRequest request{file, target.address()};
  Imported run;
  run.summary = RunImport(request, services, [&](const records::TargetAddress& address) {
    auto db = records::OpenTarget(address);
    if (db && one_by_one) *db = std::make_unique<WithoutBlocks>(std::move(*db));
    return db;
  });
  for (const auto& line : progress.lines) {
    std::string told = std::to_string(line.number) + ":";
    for (const std::string& p : line.problems) told += " " + p;
    for (const std::string& w : line.warnings) told += " " + w;
    run.lines.push_back(std::move(told));
  }
  return run;
}

TEST(BlockImport, StoresWhatTheSameLinesStoreOneByOne) {
  TALVENOR_REQUIRE_PG();
  // Stored before: a company, a contact and a position the block finds.
  const std::string before =
      WriteFile(std::string(kHeader) +
                ExportLineOf("Nurse", "Boston", "Before Corp", "617-555-0199",
                             {{"Ann Lee", "Director", "617-555-0110", "ann@example.org"}}));
  using C = std::array<std::string_view, 4>;
  const C ann{"Ann Lee", "Director", "617-555-0110", "ann@example.org"};
  const std::string lines =
      std::string(kHeader) +
      // Records of earlier lines of the block, found in other letter case.
      ExportLineOf("Charge Nurse", "Boston", "Acme Health", "617-555-0100",
                   {ann, {"John Smith", "Recruiter", "", "john@example.org"}}) +
      ExportLineOf("CHARGE NURSE", "boston", "ACME HEALTH", "(617) 555-0100",
                   {{"ann lee", "DIRECTOR", "617 555 0110", ""}}) +
      // No phone: another company, found again by its empty phone; a
      // contact without title or phone; a position without city.
      ExportLineOf("Porter", "", "Acme Health", "", {{"Bo Diddley", "", "", ""}}) +
      ExportLineOf("Porter", "", "acme health", "", {{"Bo Diddley", "", "", "bo@example.org"}}) +
      // Found as stored before the run, in other letter case.
      ExportLineOf("NURSE", "BOSTON", "BEFORE CORP", "617-555-0199", {ann}) +
      // One person in two slots of one line; apostrophes.
      ExportLineOf(
          "Recruiter", "Albany", "O'Brien Staffing", "518-555-0100",
          {{"Pat O'Brien", "Owner", "", "pat@example.org"}, {"Pat O'Brien", "Owner", "", ""}}) +
      // Not an export line, in the middle of the block.
      "garbage line\r\n" +
      // A trailing blank is the server's to compare.
      ExportLineOf("Recruiter ", "Albany", "O'Brien Staffing ", "518-555-0100",
                   {{"Pat O'Brien", "Owner ", "", ""}}) +
      ExportLineOf("Lab Technician", "Dover", "Gisèle's Lab", "302-555-0100",
                   {{"Gisèle Martin", "Técnica", "", "gm@example.org"},
                    {"GISÈLE MARTIN", "TÉCNICA", "", ""}});
  const std::string file = WriteFile(lines);

  std::vector<std::unique_ptr<TestTarget>> targets(2);
  std::vector<Imported> runs;
  for (size_t t = 0; t < targets.size(); ++t) {
    TALVENOR_FRESH_TARGET(targets[t], EngineKind::kPostgres);
    ASSERT_EQ(Import(*targets[t], before, /*one_by_one=*/true).summary.outcome,
              RunOutcome::kCompleted);
    runs.push_back(Import(*targets[t], file, /*one_by_one=*/t == 1));
    ASSERT_EQ(runs.back().summary.outcome, RunOutcome::kCompleted);
  }
  const ImportCounts& blocks = runs[0].summary.counts;
  const ImportCounts& one = runs[1].summary.counts;
  EXPECT_EQ(blocks.lines_read, 9);
  EXPECT_EQ(blocks.lines_rejected, 1);
  for (auto [a, b] : {std::pair{blocks.companies_created, one.companies_created},
                      {blocks.companies_matched, one.companies_matched},
                      {blocks.contacts_created, one.contacts_created},
                      {blocks.contacts_matched, one.contacts_matched},
                      {blocks.positions_created, one.positions_created},
                      {blocks.positions_matched, one.positions_matched},
                      {blocks.script_rows, one.script_rows},
                      {blocks.lines_rejected, one.lines_rejected}}) {
    EXPECT_EQ(a, b);
  }
  // Records of the block were found as one by one: more matched than created.
  EXPECT_GE(blocks.companies_matched, 3);
  EXPECT_EQ(runs[0].lines, runs[1].lines);
  const auto a = targets[0]->Open();
  const auto b = targets[1]->Open();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(Contents(*a), Contents(*b));
}

}  // namespace
}  // namespace talvenor::import::testing
