// The import run end to end: small export files imported into a real SQLite
// file and a real PostgreSQL schema, and the rows written compared.

#include "import/import_run.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "records/date_time.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"
#include "text/phone_format.h"

namespace talvenor::import::testing {

using namespace talvenor::testing;
namespace {

using records::Database;

// The contents of first_import.csv, line by line (data-line numbers):
//  1 Acme Health (617) 555-0100; Dr. Ann Lee, Smith, John, Jr., Cher; Nurse Manager/Boston
//  2 Acme Health, its phone written another way; Ann Lee again (slot 1), John Paul
//    Smith Jones; Staff Nurse/Boston
//  3 Acme Health with another phone; Pat O'Brien; Staff Nurse/Quincy
//  4 O'Brien Staffing; "O'Brien, Pat" as Owner; Recruiter/Albany
//    (a header line in any letter case follows)
//  5 a 66-character company name; no contacts; Charge Nurse/Hartford
//  6 company named by 20 digits; Gisèle Martin; Lab Technician/Dover
//  7 no company name, no phone; "Lee, Ann" without title; Greeter, no city
//  8 "Night Porter,Springfield,,,," only (six fields), without a line end
constexpr const char* kFirstImport = "first_import.csv";

std::string Mask(std::string_view phone) { return text::FormatPhone(phone); }

// A date column's value as "m/d/yyyy", however the engine hands it back.
std::string DateText(Database& db, const std::string& sql) {
  const records::Value v = Scalar(db, sql);
  if (v.IsDateTime()) return records::FormatDateTime(v.number(), "m/d/yyyy");
  const auto serial = records::ParseDateTime(v.ToText());
  return serial ? records::FormatDateTime(*serial, "m/d/yyyy") : "<not a date>";
}

class ImportRunTest : public ::testing::TestWithParam<EngineKind> {
 protected:
  void SetUp() override { TALVENOR_FRESH_TARGET(target_, GetParam()); }

  ImportSummary Run(const std::string& export_path) {
    return Run(export_path, target_->path(), target_->is_odbc());
  }
  ImportSummary Run(const std::string& export_path, const std::string& target_path, bool is_odbc) {
    progress_ = RecordingProgress();
    op_.messages.clear();
    ImportServices services{op_, clock_, cache_, progress_};
    const records::TargetAddress target{
        target_path, is_odbc ? records::TargetKind::kOdbc : records::TargetKind::kDatabaseFile};
    // The command the front end names for a target without the import's tables.
    ImportRequest request{export_path, target};
    request.init_advice = "talvenor-import init " + target_path;
    return RunImport(request, services);
  }

  std::unique_ptr<Database> Open() {
    auto db = target_->Open();
    EXPECT_NE(db, nullptr);
    return db;
  }

  // Makes the target refuse to store the rows of `table` for which
  // `condition` holds (its columns written NEW.Column), the way a server
  // refuses a row that breaks one of its rules.
  void Refuse(const std::string& table, const std::string& name, std::string condition) {
    if (target_->kind() == EngineKind::kSqlite) {
      sqlite3* raw = nullptr;
      ASSERT_EQ(sqlite3_open(target_->path().c_str(), &raw), SQLITE_OK);
      const std::string sql = "CREATE TRIGGER " + name + " BEFORE INSERT ON " + table + " WHEN " +
                              condition + " BEGIN SELECT RAISE(ABORT, 'refused by the test'); END";
      char* error = nullptr;
      EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
          << (error != nullptr ? error : "");
      sqlite3_free(error);
      sqlite3_close(raw);
      return;
    }
    for (size_t at; (at = condition.find("NEW.")) != std::string::npos;) condition.erase(at, 4);
    auto db = Open();
    ASSERT_NE(db, nullptr);
    const std::string sql =
        "ALTER TABLE " + table + " ADD CONSTRAINT " + name + " CHECK (NOT (" + condition + "))";
    auto done = db->Execute(sql);
    ASSERT_TRUE(done.has_value()) << done.error().description;
    db->Close();
  }

  talvenor::testing::FakeClock clock_;  // Tue 8 Dec 2026 15:04:05
  talvenor::testing::RecordingOperator op_;
  records::ClockCache cache_;
  RecordingProgress progress_;
  std::unique_ptr<TestTarget> target_;
};

TEST_P(ImportRunTest, CountsEveryLineAndShowsItsProgress) {
  const ImportSummary summary = Run("  " + DataFile(kFirstImport) + " ");
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted) << summary.message;
  EXPECT_TRUE(op_.messages.empty()) << op_.messages.front().text;

  struct Count {
    const char* what;
    long got, want;
  };
  const ImportCounts& c = summary.counts;
  for (const Count& count : std::initializer_list<Count>{
           {"lines read", c.lines_read, 8},
           {"companies created", c.companies_created, 6},  // line 8 finds line 7's
           {"companies matched", c.companies_matched, 2},
           {"contacts created", c.contacts_created, 7},
           {"contacts matched", c.contacts_matched, 1},
           {"named slots skipped", c.contact_slots_skipped, 1},  // Cher
           {"positions created", c.positions_created, 8},
           {"positions matched", c.positions_matched, 0},
           {"script rows", c.script_rows, 4},
           {"saves failed", c.saves_failed, 0},
           {"lines rejected", c.lines_rejected, 0},
       }) {
    SCOPED_TRACE(count.what);
    EXPECT_EQ(count.got, count.want);
  }
  EXPECT_EQ(summary.BatchCode, "CAR.0001");

  EXPECT_EQ(progress_.list,
            (std::vector<std::string>{"Step1: Opening Target Database",
                                      "Step2: Begin Transferring Companies/Names",
                                      "Imported 8 Talvenor Records.", "Import Complete"}));
  std::vector<std::string> captions;
  for (int n = 1; n <= 8; ++n) captions.push_back("Importing Row (" + std::to_string(n) + ")");
  captions.push_back("Click Here To Begin Import");
  EXPECT_EQ(progress_.captions, captions);
  ASSERT_GE(progress_.events.size(), 3u);
  EXPECT_EQ(progress_.events[0], "busy");
  EXPECT_EQ(progress_.events[1], "clear");
  EXPECT_EQ(progress_.events.back(), "idle");
  EXPECT_EQ(std::count(progress_.events.begin(), progress_.events.end(), "pump"), 8);

  // Line numbers skip both header lines; the final line keeps its bytes.
  ASSERT_EQ(progress_.lines.size(), 8u);
  EXPECT_EQ(progress_.lines[3].physical_number, 5);
  EXPECT_EQ(progress_.lines[4].number, 5);
  EXPECT_EQ(progress_.lines[4].physical_number, 7);
  EXPECT_EQ(progress_.lines[7].raw, "Night Porter,Springfield,,,,");
  for (const RecordingProgress::Line& line : progress_.lines) {
    EXPECT_TRUE(line.problems.empty()) << line.number;
  }
}

TEST_P(ImportRunTest, StoresCompaniesAsTheFileNamesThem) {
  ASSERT_EQ(Run(DataFile(kFirstImport)).outcome, RunOutcome::kCompleted);
  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Companies"), 6);

  auto size = db->OpenRecordset("SELECT * FROM Companies WHERE Company_Id IS NULL");
  ASSERT_TRUE(size.has_value());
  const int name_size = (*size)->FieldSize("Company_Name").value_or(0);
  (*size)->Close();
  ASSERT_GT(name_size, 0);
  ASSERT_LT(name_size, 66) << "the test needs a company name longer than the column";

  struct Case {
    std::string sql, want;
  };
  const std::string acme =
      "FROM Companies WHERE Company_Name='Acme Health' AND Phone='" + Mask("617-555-0100") + "'";
  for (const Case& c : std::vector<Case>{
           {"SELECT Fax " + acme, Mask("617-555-0101")},
           {"SELECT Address_1 " + acme, "1 Main St"},
           {"SELECT State " + acme, "MA"},
           {"SELECT Zip " + acme, "02134"},  // the leading zero stays
           {"SELECT Email_Address " + acme, "hr@acme.example"},
           {"SELECT City FROM Companies WHERE Phone='" + Mask("617 555 0199") + "'", "Quincy"},
           // An apostrophe is stored once.
           {"SELECT Phone FROM Companies WHERE Company_Name='O''Brien Staffing'",
            Mask("518-555-0142")},
           // Cut to the column's size.
           {"SELECT Company_Name FROM Companies WHERE City='Hartford'",
            std::string("Northeastern Regional Medical Center and Affiliated Clinics Group")
                .substr(0, name_size)},
           // Digits in a text column keep every digit, and the zip its text.
           {"SELECT Company_Name FROM Companies WHERE City='Dover'", "12345678901234567890"},
           {"SELECT Zip FROM Companies WHERE City='Dover'", "19901"},
           // An empty name is Null; no phone gives the empty mask.
           {"SELECT Phone FROM Companies WHERE Company_Name IS NULL", Mask("")},
           {"SELECT Fax FROM Companies WHERE Company_Name IS NULL", Mask("")},
           {"SELECT Email_Address FROM Companies WHERE Company_Name IS NULL", "<null>"},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarText(*db, c.sql), c.want);
  }
}

TEST_P(ImportRunTest, StoresContactsAndLinksThemToTheirCompany) {
  ASSERT_EQ(Run(DataFile(kFirstImport)).outcome, RunOutcome::kCompleted);
  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Candidates"), 7);

  const std::string acme_key =
      ScalarText(*db,
                 "SELECT Company_Id FROM Companies WHERE Company_Name='Acme Health' AND "
                 "Phone='" +
                     Mask("617-555-0100") + "'");
  const std::string ann =
      "FROM Candidates WHERE First_Name='Ann' AND Last_Name='Lee' AND "
      "Title='Director'";
  const std::string paul = "FROM Candidates WHERE First_Name='John' AND Middle_Init='Paul'";
  struct Case {
    std::string sql, want;
  };
  for (const Case& c : std::vector<Case>{
           {"SELECT Company_Id " + ann, acme_key},
           {"SELECT Work_Phone " + ann, Mask("617-555-0110")},
           {"SELECT Fax_Phone " + ann, Mask("617-555-0111")},
           {"SELECT Email_Address " + ann, "ann@acme.example"},
           {"SELECT Middle_Init " + ann, "<null>"},
           {"SELECT Specialty_2 " + ann, "H"},
           // "Smith, John, Jr." loses its suffix and turns round.
           {"SELECT Work_Phone FROM Candidates WHERE First_Name='John' AND Last_Name='Smith' "
            "AND Middle_Init IS NULL",
            Mask("(617) 555-0120 x 12")},
           // A fourth word is dropped; no title is stored as Null.
           {"SELECT Last_Name " + paul, "Smith"},
           {"SELECT Title " + paul, "<null>"},
           {"SELECT Company_Id " + paul, acme_key},
           {"SELECT COUNT(*) FROM Candidates WHERE First_Name='Pat' AND Last_Name='O''Brien'",
            "2"},  // different title and phone: two people
           {"SELECT Title FROM Candidates WHERE Last_Name='Martin'", "Lab Lead"},
           {"SELECT First_Name FROM Candidates WHERE Last_Name='Martin'", "Gisèle"},
           {"SELECT COUNT(*) FROM Candidates WHERE First_Name='Cher' OR Last_Name='Cher'", "0"},
           {"SELECT COUNT(*) FROM Candidates WHERE Last_Name='Jones'", "0"},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarText(*db, c.sql), c.want);
  }
}

TEST_P(ImportRunTest, StoresPositionsWithTheirFirstContactAndScripts) {
  ASSERT_EQ(Run(DataFile(kFirstImport)).outcome, RunOutcome::kCompleted);
  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Positions"), 8);

  const std::string ann_key =
      ScalarText(*db,
                 "SELECT Candidate_Id FROM Candidates WHERE First_Name='Ann' AND "
                 "Last_Name='Lee' AND Title='Director'");
  const std::string nameless_key =
      ScalarText(*db, "SELECT Company_Id FROM Companies WHERE Company_Name IS NULL");
  const std::string nurse = "FROM Positions WHERE Job_Title='Nurse Manager' AND City='Boston'";
  const std::string staff = "FROM Positions WHERE Job_Title='Staff Nurse' AND City='Boston'";
  const std::string charge = "FROM Positions WHERE Job_Title='Charge Nurse'";
  struct Case {
    std::string sql, want;
  };
  for (const Case& c : std::vector<Case>{
           {"SELECT Candidate_Id " + nurse, ann_key},
           {"SELECT Contact_Name " + nurse, "Ann Lee"},
           {"SELECT Contact_Phone " + nurse, Mask("617-555-0110")},
           {"SELECT Zip " + nurse, "02134"},
           // Slot 0 empty: the person found in slot 1 is the contact.
           {"SELECT Candidate_Id " + staff, ann_key},
           // No contact at all.
           {"SELECT Candidate_Id " + charge, "<null>"},
           {"SELECT Contact_Name " + charge, "<null>"},
           {"SELECT Contact_Phone " + charge, "<null>"},
           // An empty city is stored as Null.
           {"SELECT COUNT(*) FROM Positions WHERE Job_Title='Greeter' AND City IS NULL", "1"},
           // The line of six fields belongs to the company without a name.
           {"SELECT Company_Id FROM Positions WHERE Job_Title='Night Porter'", nameless_key},
           {"SELECT Zip FROM Positions WHERE Job_Title='Night Porter'", "<null>"},
           // Scripts: only for a first contact with an e-mail address.
           {"SELECT COUNT(*) FROM Scripts", "4"},
           {"SELECT Description FROM Scripts WHERE Job_Id=(SELECT Job_Id " + nurse + ")",
            "ann@acme.example"},
           {"SELECT Script_Type FROM Scripts WHERE Job_Id=(SELECT Job_Id " + nurse + ")",
            "USERNAME"},
           {"SELECT COUNT(*) FROM Scripts WHERE Description='pat@obrien.example'", "1"},
           {"SELECT COUNT(*) FROM Scripts WHERE Job_Id=(SELECT Job_Id FROM Positions WHERE "
            "City='Quincy')",
            "0"},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarText(*db, c.sql), c.want);
  }

  // The date posted reaches the database as text for it to convert.
  EXPECT_EQ(DateText(*db, "SELECT Date_Posted " + nurse), "1/5/2026");
  EXPECT_EQ(DateText(*db, "SELECT Date_Posted FROM Positions WHERE Job_Title='Greeter'"),
            "1/10/2026");

  // A GUID literal on a database file, a 13-digit key on a server.
  const std::string script_id =
      ScalarText(*db, "SELECT Script_Id FROM Scripts WHERE Job_Id=(SELECT Job_Id " + nurse + ")");
  if (target_->is_odbc()) {
    EXPECT_EQ(script_id.size(), 13u) << script_id;
    EXPECT_EQ(script_id.find_first_not_of("0123456789"), std::string::npos) << script_id;
  } else {
    ASSERT_EQ(script_id.size(), 38u) << script_id;
    EXPECT_EQ(script_id.front(), '{');
    EXPECT_EQ(script_id.back(), '}');
  }
}

TEST_P(ImportRunTest, GivesEveryCreatedRecordItsActivityAndMembership) {
  const ImportSummary summary = Run(DataFile(kFirstImport));
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  auto db = Open();
  ASSERT_NE(db, nullptr);

  struct Case {
    std::string sql;
    long long want;
  };
  for (const Case& c : std::vector<Case>{
           {"SELECT COUNT(*) FROM Company_Activity", 6},
           {"SELECT COUNT(*) FROM Candidate_Activity", 7},
           {"SELECT COUNT(*) FROM Position_Activities", 8},
           {"SELECT COUNT(*) FROM Companies WHERE Last_Activity IS NULL", 0},
           {"SELECT COUNT(*) FROM Candidates WHERE Last_Activity IS NULL", 0},
           {"SELECT COUNT(*) FROM Positions WHERE Last_Activity IS NULL", 0},
           {"SELECT COUNT(*) FROM Rollup_Names", 1},
           {"SELECT COUNT(*) FROM RollupC_Records WHERE Rollup_Name='CAR.0001'", 6},
           {"SELECT COUNT(*) FROM Rollup_Records WHERE Rollup_Name='CAR.0001'", 7},
           {"SELECT COUNT(*) FROM RollupP_Records WHERE Rollup_Name='CAR.0001'", 8},
           // Each membership names a record that exists.
           {"SELECT COUNT(*) FROM RollupC_Records WHERE Company_Id NOT IN "
            "(SELECT Company_Id FROM Companies)",
            0},
           {"SELECT COUNT(*) FROM Rollup_Records WHERE Candidate_Id NOT IN "
            "(SELECT Candidate_Id FROM Candidates)",
            0},
           {"SELECT COUNT(*) FROM RollupP_Records WHERE Job_Id NOT IN "
            "(SELECT Job_Id FROM Positions)",
            0},
           {"SELECT COUNT(*) FROM Company_Activity WHERE User_Name='TALVENOR' AND "
            "Act_Type='TALVENOR'",
            6},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarNumber(*db, c.sql), c.want);
  }

  const std::string acme_activity =
      "FROM Company_Activity WHERE Company_Id=(SELECT Company_Id FROM Companies WHERE "
      "City='Hartford')";
  const std::string ann_activity =
      "FROM Candidate_Activity WHERE Candidate_Id=(SELECT Candidate_Id FROM Candidates WHERE "
      "First_Name='Ann' AND Title='Director')";
  const std::string nurse_activity =
      "FROM Position_Activities WHERE Position_Id=(SELECT Job_Id FROM Positions WHERE "
      "Job_Title='Nurse Manager')";
  struct Text {
    std::string sql, prefix;
  };
  for (const Text& t : std::vector<Text>{
           {"SELECT Memo " + acme_activity, "Company Imported from Talvenor. ("},
           {"SELECT Memo " + ann_activity, "Name Imported from Talvenor. ("},
           {"SELECT Memo " + nurse_activity, "Name Imported from Talvenor. ("},
       }) {
    SCOPED_TRACE(t.sql);
    const std::string memo = ScalarText(*db, t.sql);
    EXPECT_TRUE(memo.starts_with(t.prefix)) << memo;
    EXPECT_TRUE(memo.ends_with("/TALVENOR)")) << memo;
  }
  if (!target_->is_odbc()) {
    // On a database file every stamp is the local clock's.
    EXPECT_EQ(ScalarText(*db, "SELECT Memo " + acme_activity),
              "Company Imported from Talvenor. (Tue Dec-8 '26 3:04p/TALVENOR)");
    EXPECT_EQ(DateText(*db, "SELECT Date_Entered " + acme_activity), "12/8/2026");
    EXPECT_EQ(DateText(*db, "SELECT Entry_Date " + ann_activity), "12/8/2026");
    EXPECT_EQ(DateText(*db, "SELECT Date_Entered " + nurse_activity), "12/8/2026");
  } else {
    EXPECT_NE(DateText(*db, "SELECT Date_Entered " + acme_activity), "<not a date>");
  }
}

TEST_P(ImportRunTest, SecondImportOfTheSameFileCreatesOnlyItsBatchList) {
  ASSERT_EQ(Run(DataFile(kFirstImport)).outcome, RunOutcome::kCompleted);
  const ImportSummary again = Run(DataFile(kFirstImport));
  ASSERT_EQ(again.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(again.BatchCode, "CAR.0002");
  const ImportCounts& c = again.counts;
  EXPECT_EQ(c.companies_created + c.contacts_created + c.positions_created + c.script_rows, 0);
  EXPECT_EQ(c.companies_matched, 8);
  EXPECT_EQ(c.contacts_matched, 8);
  EXPECT_EQ(c.positions_matched, 8);

  auto db = Open();
  ASSERT_NE(db, nullptr);
  struct Case {
    std::string sql;
    long long want;
  };
  for (const Case& t : std::vector<Case>{
           {"SELECT COUNT(*) FROM Companies", 6},
           {"SELECT COUNT(*) FROM Candidates", 7},
           {"SELECT COUNT(*) FROM Positions", 8},
           {"SELECT COUNT(*) FROM Scripts", 4},
           {"SELECT COUNT(*) FROM Company_Activity", 6},
           {"SELECT COUNT(*) FROM Rollup_Names", 2},
           {"SELECT COUNT(*) FROM RollupC_Records WHERE Rollup_Name='CAR.0002'", 0},
           {"SELECT COUNT(*) FROM Rollup_Records WHERE Rollup_Name='CAR.0002'", 0},
           {"SELECT COUNT(*) FROM RollupP_Records WHERE Rollup_Name='CAR.0002'", 0},
       }) {
    SCOPED_TRACE(t.sql);
    EXPECT_EQ(ScalarNumber(*db, t.sql), t.want);
  }
}

TEST_P(ImportRunTest, OpeningFailuresEndTheRunWithAMessage) {
  // A target of the same kind that cannot be opened.
  const std::string bad_target = target_->is_odbc()
                                     ? target_->path() + ";Database=no_such_database_here"
                                     : target_->path() + ".missing";
  struct Case {
    const char* what;
    std::string file, target;
    RunOutcome outcome;
    std::vector<std::string> list;
  };
  for (const Case& c : std::vector<Case>{
           {"empty path", "   ", target_->path(), RunOutcome::kFileUnreadable, {}},
           {"missing file",
            DataFile("no_such_file.csv"),
            target_->path(),
            RunOutcome::kFileUnreadable,
            {}},
           {"target not opened",
            DataFile(kFirstImport),
            bad_target,
            RunOutcome::kTargetNotOpened,
            {"Step1: Opening Target Database"}},
       }) {
    SCOPED_TRACE(c.what);
    const ImportSummary summary = Run(c.file, c.target, target_->is_odbc());
    EXPECT_EQ(summary.outcome, c.outcome);
    EXPECT_EQ(progress_.list, c.list);
    EXPECT_EQ(progress_.captions, std::vector<std::string>{"Click Here To Begin Import"});
    // The window is back to idle before the message box shows.
    EXPECT_EQ(progress_.events.back(), "caption Click Here To Begin Import");
    EXPECT_NE(std::find(progress_.events.begin(), progress_.events.end(), "idle"),
              progress_.events.end());
    ASSERT_EQ(op_.messages.size(), 1u);
    EXPECT_FALSE(op_.messages[0].text.empty());
    EXPECT_EQ(op_.messages[0].text, summary.message);
    EXPECT_EQ(op_.messages[0].title, "");
    EXPECT_EQ(summary.counts.lines_read, 0);
  }
  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Rollup_Names"), 0);
}

TEST_P(ImportRunTest, StopsBeforeTheFirstLineWithoutItsBatchList) {
  {
    auto db = Open();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->Execute("DROP TABLE Rollup_Names").has_value());
    db->Close();
  }
  const ImportSummary summary = Run(DataFile(kFirstImport));
  EXPECT_EQ(summary.outcome, RunOutcome::kBatchNotCreated);
  // The message names the missing table and the command that creates it.
  EXPECT_NE(summary.message.find("has no table Rollup_Names; create the missing tables with: "
                                 "talvenor-import init "),
            std::string::npos)
      << summary.message;
  EXPECT_EQ(summary.counts.lines_read, 0);
  EXPECT_EQ(progress_.list, std::vector<std::string>{"Step1: Opening Target Database"});
  ASSERT_EQ(op_.messages.size(), 1u);
  EXPECT_EQ(op_.messages[0].text, summary.message);

  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Companies"), 0);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Company_Activity"), 0);
}

TEST_P(ImportRunTest, RowsThatCannotBeStoredAreShownAndNothingDependsOnThem) {
  Refuse("Companies", "refuse_obrien", "NEW.Company_Name = 'O''Brien Staffing'");
  Refuse("Candidates", "refuse_ann",
         "NEW.First_Name = 'Ann' AND NEW.Last_Name = 'Lee' AND NEW.Title = 'Director'");
  if (HasFatalFailure()) return;

  const ImportSummary summary = Run(DataFile(kFirstImport));
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  // Ann Lee on lines 1 and 2, O'Brien Staffing on line 4; every failed save
  // shows the error and then the engine's errors.
  EXPECT_EQ(summary.counts.saves_failed, 3);
  EXPECT_EQ(summary.counts.lines_rejected, 3);
  EXPECT_EQ(op_.messages.size(), 6u);
  ASSERT_EQ(progress_.lines.size(), 8u);
  for (size_t i : {0u, 1u, 3u}) {
    SCOPED_TRACE(i);
    ASSERT_EQ(progress_.lines[i].problems.size(), 1u) << progress_.lines[i].problems[0];
  }
  EXPECT_TRUE(progress_.lines[0].problems[0].starts_with("contact 1 (Ann Lee) not stored"))
      << progress_.lines[0].problems[0];
  EXPECT_TRUE(progress_.lines[3].problems[0].starts_with("company not stored"))
      << progress_.lines[3].problems[0];
  EXPECT_TRUE(progress_.lines[2].problems.empty());

  auto db = Open();
  ASSERT_NE(db, nullptr);
  struct Case {
    std::string sql, want;
  };
  for (const Case& c : std::vector<Case>{
           {"SELECT COUNT(*) FROM Candidates WHERE First_Name='Ann' AND Title='Director'", "0"},
           // Without Ann, John Smith of slot 1 is line 1's first contact.
           {"SELECT Contact_Name FROM Positions WHERE Job_Title='Nurse Manager'", "John Smith"},
           {"SELECT Description FROM Scripts WHERE Job_Id=(SELECT Job_Id FROM Positions WHERE "
            "Job_Title='Nurse Manager')",
            "john@acme.example"},
           // The company not stored is the company of nothing.
           {"SELECT Company_Id FROM Positions WHERE Job_Title='Recruiter'", "<null>"},
           {"SELECT Company_Id FROM Candidates WHERE First_Name='Pat' AND Title='Owner'", "<null>"},
           // Rows not stored have no activity and no membership.
           {"SELECT COUNT(*) FROM Company_Activity", "5"},
           {"SELECT COUNT(*) FROM RollupC_Records", "5"},
           {"SELECT COUNT(*) FROM Candidate_Activity", "6"},
           {"SELECT COUNT(*) FROM Rollup_Records", "6"},
           {"SELECT COUNT(*) FROM Positions", "8"},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarText(*db, c.sql), c.want);
  }
}

TEST_P(ImportRunTest, AnActivityRowOrMembershipRefusedCostsOnlyItself) {
  // On a server the activity row and the membership go out together, all or
  // nothing; when one is refused, the other must still be stored on its own.
  Refuse("Candidate_Activity", "refuse_candidate_activity", "NEW.Candidate_Id IS NOT NULL");
  Refuse("RollupP_Records", "refuse_position_membership", "NEW.Job_Id IS NOT NULL");
  if (HasFatalFailure()) return;

  const ImportSummary summary = Run(DataFile(kFirstImport));
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(summary.counts.saves_failed, 0);
  long with_candidate_problem = 0, with_membership_problem = 0;
  for (const auto& line : progress_.lines) {
    for (const std::string& problem : line.problems) {
      if (problem.starts_with("Candidate_Activity row not stored")) ++with_candidate_problem;
      if (problem.starts_with("RollupP_Records row not stored")) ++with_membership_problem;
    }
  }
  EXPECT_EQ(with_candidate_problem, summary.counts.contacts_created);
  EXPECT_EQ(with_membership_problem, summary.counts.positions_created);

  auto db = Open();
  ASSERT_NE(db, nullptr);
  struct Case {
    std::string sql, want;
  };
  const std::string contacts = std::to_string(summary.counts.contacts_created);
  const std::string positions = std::to_string(summary.counts.positions_created);
  for (const Case& c : std::vector<Case>{
           {"SELECT COUNT(*) FROM Candidate_Activity", "0"},
           {"SELECT COUNT(*) FROM Rollup_Records", contacts},  // stored without its activity row
           {"SELECT COUNT(*) FROM RollupP_Records", "0"},
           {"SELECT COUNT(*) FROM Position_Activities", positions},  // stored without membership
           {"SELECT COUNT(*) FROM Positions WHERE Last_Activity IS NULL", "0"},
           {"SELECT COUNT(*) FROM Candidates WHERE Last_Activity IS NULL", "0"},
       }) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ScalarText(*db, c.sql), c.want);
  }
}

TEST_P(ImportRunTest, ATableWithoutLastActivityStoresTheRecordAndListsTheLine) {
  // Last_Activity is set in the record's own INSERT: a table without the
  // column must still take the record, and the line says what is missing.
  {
    auto db = Open();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->Execute("ALTER TABLE Companies DROP COLUMN Last_Activity").has_value());
    db->Close();
  }
  const ImportSummary summary = Run(DataFile(kFirstImport));
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(summary.counts.saves_failed, 0);
  long listed = 0;
  for (const auto& line : progress_.lines) {
    for (const std::string& problem : line.problems) {
      if (problem.starts_with("Last_Activity not set")) ++listed;
    }
  }
  EXPECT_EQ(listed, summary.counts.companies_created);
  auto db = Open();
  ASSERT_NE(db, nullptr);
  const std::string companies = std::to_string(summary.counts.companies_created);
  EXPECT_EQ(ScalarText(*db, "SELECT COUNT(*) FROM Companies"), companies);
  EXPECT_EQ(ScalarText(*db, "SELECT COUNT(*) FROM Company_Activity"), companies);
  EXPECT_EQ(ScalarText(*db, "SELECT COUNT(*) FROM RollupC_Records"), companies);
}

TEST_P(ImportRunTest, ATableThatCannotBeOpenedIsReportedOnceAndTheRunGoesOn) {
  {
    auto db = Open();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->Execute("DROP TABLE Positions").has_value());
    db->Close();
  }
  const ImportSummary summary = Run(DataFile(kFirstImport));
  ASSERT_EQ(summary.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(op_.messages.size(), 1u);
  EXPECT_EQ(summary.counts.positions_created, 0);
  EXPECT_EQ(summary.counts.saves_failed, 8);
  EXPECT_EQ(summary.counts.lines_rejected, 8);
  EXPECT_EQ(summary.counts.companies_created, 6);
  ASSERT_EQ(progress_.lines.size(), 8u);
  EXPECT_TRUE(progress_.lines[0].problems.at(0).starts_with("position not stored: "));
  auto db = Open();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM RollupP_Records"), 0);
  EXPECT_EQ(ScalarNumber(*db, "SELECT COUNT(*) FROM Scripts"), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunTest,
                         ::testing::Values(EngineKind::kSqlite, EngineKind::kPostgres),
                         [](const ::testing::TestParamInfo<EngineKind>& engine) {
                           return EngineName(engine.param);
                         });

}  // namespace
}  // namespace talvenor::import::testing
