// Every statement of a small import failed in turn: each run still reaches its
// summary, leaves no link to a record that does not exist, reports what it
// could not store, and a second run of the same file completes the target
// without storing anything twice.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "records/open_target.h"
#include "tests/reliability/faulty_database.h"
#include "tests/reliability/reliability_target.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"

namespace talvenor::reliability {
namespace {

using import::ImportSummary;
using import::RunOutcome;
using testing::EngineKind;
using testing::RecordingProgress;
using testing::TestTarget;

// Eight data lines that match and create companies, contacts and positions,
// with script rows, apostrophes and a line without a line end.
constexpr const char* kFile = "first_import.csv";
constexpr long kDataLines = 8;

// A progress that notes the data line during which the fault struck. Lines
// are told only after their commit, so the line is read off the captions:
// each data line starts with its own.
class FaultProgress final : public import::ImportProgress {
 public:
  explicit FaultProgress(const FaultLog& log) : log_(log) {}
  void ClearList() override { recorder.ClearList(); }
  void AddLine(std::string_view text) override { recorder.AddLine(text); }
  void SetCaption(std::string_view caption) override {
    constexpr std::string_view kImporting = "Importing Row (";
    if (caption.starts_with(kImporting)) {
      Decide();
      current_ = std::stol(std::string(caption.substr(kImporting.size())));
    }
    recorder.SetCaption(caption);
  }
  void PumpEvents() override { recorder.PumpEvents(); }
  void SetBusy(bool busy) override { recorder.SetBusy(busy); }
  void LineFinished(const import::LineOutcome& outcome) override { recorder.LineFinished(outcome); }
  long current() const { return current_; }
  // Settles the struck line once the fault has happened (call at the end too).
  void Decide() {
    if (log_.failed && !decided_) {
      decided_ = true;
      struck_line = current_;
    }
  }

  RecordingProgress recorder;
  long struck_line = 0;  // 0: before the first line began, or never

 private:
  const FaultLog& log_;
  long current_ = 0;  // the data line being imported
  bool decided_ = false;
};

struct FaultRun {
  ImportSummary summary;
  FaultLog log;
  std::vector<RecordingProgress::Line> lines;
  std::vector<std::string> list;
  std::vector<std::string> messages;
  std::vector<std::string> boxes;  // each message with the line the caption named
  long struck_line = 0;
};

// Keeps each message with the data line the import button named when it was
// shown, as the window's boxes name it.
class LineOperator final : public records::Operator {
 public:
  explicit LineOperator(const FaultProgress& progress) : progress_(progress) {}
  void ShowMessage(std::string_view text, std::string_view, records::MessageIcon) override {
    messages.emplace_back(text);
    boxes.push_back("line " + std::to_string(progress_.current()) + ": " + std::string(text));
  }
  std::vector<std::string> messages, boxes;

 private:
  const FaultProgress& progress_;
};

FaultRun RunWithFault(const TestTarget& target, const FaultPlan& plan) {
  FaultRun run;
  FaultProgress progress(run.log);
  testing::FakeClock clock;
  LineOperator op(progress);
  records::ClockCache cache;
  import::ImportServices services{op, clock, cache, progress};
  const auto open = [&](const records::TargetAddress& address)
      -> records::DbResult<std::unique_ptr<records::Database>> {
    auto db = records::OpenTarget(address);
    if (!db) return db;
    return std::unique_ptr<records::Database>(
        std::make_unique<FaultyDatabase>(std::move(*db), plan, run.log));
  };
  run.summary = import::RunImport(import::ImportRequest{testing::DataFile(kFile), {target.path()}},
                                  services, open);
  progress.Decide();
  run.lines = progress.recorder.lines;
  run.list = progress.recorder.list;
  run.messages = op.messages;
  run.boxes = op.boxes;
  run.struck_line = progress.struck_line;
  return run;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A look-up of the importers: when it fails, the record is created as if it
// had not been found (the failed test counts as passed).
bool IsRecordLookUp(const FaultLog::Failed& f) {
  return f.kind == StatementKind::kQuery &&
         (StartsWith(f.text, "SELECT Company_Id FROM Companies WHERE") ||
          StartsWith(f.text, "SELECT Candidate_Id FROM Candidates WHERE") ||
          StartsWith(f.text, "SELECT Job_Id FROM Positions WHERE"));
}

// The statements that make the run's batch list: a failure there either gives
// the first code anyway (the look-up) or ends the run before its first line.
bool IsBatchStatement(const FaultLog::Failed& f) {
  return f.text.find("Rollup_Names") != std::string::npos;
}

std::string Describe(const FaultLog::Failed& f) {
  return "statement " + std::to_string(f.number) + " (" + std::string(KindName(f.kind)) +
         "): " + f.text;
}

// Runs the file once failing statement `n` with `error`, checks the run, then
// imports the file again cleanly and compares the records with `reference`.
void CheckOneFault(const FaultPlan& plan, const std::map<std::string, int>& reference) {
  auto target = FreshTarget();
  ASSERT_NE(target, nullptr);
  const FaultRun run = RunWithFault(*target, plan);
  ASSERT_TRUE(run.log.failed.has_value()) << "no statement " << plan.fail_at;
  const FaultLog::Failed& failed = *run.log.failed;
  SCOPED_TRACE(Describe(failed));

  if (run.summary.outcome == RunOutcome::kBatchNotCreated) {
    // Only a failure of the batch list's own row may stop the run, and then
    // before anything was written.
    EXPECT_TRUE(IsBatchStatement(failed));
    EXPECT_EQ(run.summary.counts.lines_read, 0);
    EXPECT_EQ(run.messages.size(), 1u);
    EXPECT_TRUE(Records(target->path()).empty());
  } else {
    ASSERT_EQ(run.summary.outcome, RunOutcome::kCompleted) << run.summary.message;
    ASSERT_FALSE(run.list.empty());
    EXPECT_EQ(run.list.back(), "Import Complete");
    EXPECT_EQ(run.summary.counts.lines_read, kDataLines);
    EXPECT_EQ(run.lines.size(), size_t(kDataLines));
  }
  EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});

  // A failed write loses something of its line: the line is listed with why.
  const bool write = !IsRecordLookUp(failed) && !IsBatchStatement(failed);
  // (A failure before the first line, such as an insert set that cannot be
  // opened, may cost every line.)
  if (write && run.struck_line > 0) {
    const auto& line = run.lines.at(size_t(run.struck_line - 1));
    EXPECT_FALSE(line.problems.empty()) << "line " << run.struck_line << " not listed";
    EXPECT_GE(run.summary.counts.lines_rejected, 1);
    for (const auto& other : run.lines) {
      if (other.number != run.struck_line) {
        EXPECT_TRUE(other.problems.empty()) << "line " << other.number << ": " << other.problems[0];
      }
    }
  }
  // A failed save of a record is shown with its error, then the engine's errors.
  const bool record_save = failed.kind == StatementKind::kUpdate &&
                           (StartsWith(failed.text, "SELECT * FROM Companies") ||
                            StartsWith(failed.text, "SELECT * FROM Candidates") ||
                            StartsWith(failed.text, "SELECT * FROM Positions"));
  if (record_save) {
    EXPECT_EQ(run.summary.counts.saves_failed, 1);
    const bool quiet = plan.error.number == records::kDuplicateValue;
    EXPECT_EQ(run.messages.size(), quiet ? 0u : 2u);
    if (!quiet && run.messages.size() == 2) {
      EXPECT_EQ(run.messages[0], plan.error.description);
      EXPECT_NE(run.messages[1].find(plan.error.providers.at(0).text), std::string::npos);
    }
  } else if (run.struck_line > 0) {
    EXPECT_EQ(run.summary.counts.saves_failed, 0);
  }

  // Run again without faults: what the failed step skipped is stored now, and
  // nothing twice, except the record a failed look-up made again.
  FaultRun again = RunWithFault(*target, FaultPlan{});
  ASSERT_EQ(again.summary.outcome, RunOutcome::kCompleted) << again.summary.message;
  EXPECT_EQ(again.messages, std::vector<std::string>{});
  EXPECT_EQ(again.summary.counts.lines_rejected, 0);
  EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});
  const std::map<std::string, int> got = Records(target->path());
  int extra = 0;
  for (const auto& [record, count] : reference) {
    const auto found = got.find(record);
    const int have = found == got.end() ? 0 : found->second;
    EXPECT_GE(have, count) << "missing: " << record;
    extra += std::max(0, have - count);
  }
  for (const auto& [record, count] : got) {
    EXPECT_TRUE(reference.contains(record)) << "not in the file: " << record;
  }
  EXPECT_LE(extra, IsRecordLookUp(failed) ? 1 : 0) << "records stored twice";
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    reference_target_ = FreshTarget();
    ASSERT_NE(reference_target_, nullptr);
    const FaultRun clean = RunWithFault(*reference_target_, FaultPlan{});
    ASSERT_EQ(clean.summary.outcome, RunOutcome::kCompleted);
    ASSERT_EQ(clean.summary.counts.lines_rejected, 0);
    statements_ = clean.log.counted;
    reference_ = Records(reference_target_->path());
    ASSERT_FALSE(reference_.empty());
  }

  std::unique_ptr<TestTarget> reference_target_;
  long statements_ = 0;
  std::map<std::string, int> reference_;
};

TEST_F(FaultInjection, EveryStatementFailedInTurn) {
  const records::DbError error{
      3146, "ODBC--call failed.", {{-1, "HY000", "the statement was refused by the test"}}};
  ASSERT_GT(statements_, 100) << "the file should cause many statements";
  std::printf("[ figures  ] %ld statements, each failed in its own run\n", statements_);
  for (long n = 1; n <= statements_; ++n) {
    CheckOneFault(FaultPlan{/*updates_only=*/false, n, error}, reference_);
    if (HasFailure()) break;  // one fault is enough to read
  }
}

TEST_F(FaultInjection, EveryUpdateMeetingADuplicateInTurn) {
  // A duplicate value is not shown to the operator, but the line is listed.
  const records::DbError error{records::kDuplicateValue,
                               "The changes you requested to the table were not successful "
                               "because they would create duplicate values.",
                               {{2067, "", "UNIQUE constraint failed"}}};
  FaultLog counted;
  long updates = 0;
  {
    auto target = FreshTarget();
    ASSERT_NE(target, nullptr);
    updates = RunWithFault(*target, FaultPlan{/*updates_only=*/true, 0, error}).log.counted;
  }
  ASSERT_GT(updates, 20);
  std::printf("[ figures  ] %ld Updates, each failed as a duplicate in its own run\n", updates);
  for (long n = 1; n <= updates; ++n) {
    CheckOneFault(FaultPlan{/*updates_only=*/true, n, error}, reference_);
    if (HasFailure()) break;
  }
}

TEST_F(FaultInjection, ALostConnectionStopsTheRunAtItsLine) {
  // What psqlODBC reports once the server has gone.
  const records::DbError lost{3146,
                              "ODBC--call failed.",
                              {{35, "08S01", "SQLExecDirectW unable due to the connection lost"}}};
  for (long n = 1; n <= statements_; ++n) {
    auto target = FreshTarget();
    ASSERT_NE(target, nullptr);
    const FaultRun run = RunWithFault(*target, FaultPlan{false, n, lost, /*lasting=*/true});
    ASSERT_TRUE(run.log.failed.has_value());
    SCOPED_TRACE(Describe(*run.log.failed));
    ASSERT_EQ(run.summary.outcome, RunOutcome::kTargetLost);
    if (IsBatchStatement(*run.log.failed)) {
      EXPECT_EQ(run.summary.counts.lines_read, 0);
    } else {
      // The run ends at the line the loss struck (the first line, when it
      // struck before), says after which stored line, and reads no further.
      // Every line it tells of is stored, and only those are counted.
      const long struck = std::max(run.struck_line, 1L);
      EXPECT_LT(run.summary.counts.lines_read, struck);
      EXPECT_EQ(run.lines.size(), size_t(run.summary.counts.lines_read));
      const long last = run.lines.empty() ? 0 : run.lines.back().physical_number;
      EXPECT_TRUE(
          run.summary.message.starts_with("Stopped after line " + std::to_string(last) + " of "))
          << run.summary.message;
      ASSERT_GE(run.list.size(), 2u);
      EXPECT_EQ(run.list[run.list.size() - 2], run.summary.message);
      EXPECT_EQ(run.list.back(), "Import Complete");
    }
    EXPECT_EQ(CountStored(target->path()), Created(run.summary.counts));
    EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});

    // Nothing stored before the loss is lost, and a second run completes it.
    const FaultRun again = RunWithFault(*target, FaultPlan{});
    ASSERT_EQ(again.summary.outcome, RunOutcome::kCompleted);
    EXPECT_EQ(again.summary.counts.lines_rejected, 0);
    EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});
    EXPECT_EQ(Records(target->path()), reference_);
    if (HasFailure()) break;
  }
}

// A commit that fails in the middle of a group: its lines are imported again
// one by one, and each refused save's messages are shown once, naming its own
// line, as in a run without the failed commit; a refusal of the first import
// that does not come back is not shown at all.
TEST(RedoneGroup, ShowsEachLinesMessagesOnceWithItsNumber) {
  const records::DbError error{
      3146, "ODBC--call failed.", {{-1, "HY000", "the statement was refused by the test"}}};
  std::vector<std::string> boxes[2];
  for (const bool fail_commit : {false, true}) {
    SCOPED_TRACE(fail_commit ? "a failed commit at line 6" : "no failed commit");
    auto target = FreshTarget();
    ASSERT_NE(target, nullptr);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(target->path().c_str(), &db), SQLITE_OK);
    // Ann Lee stands on data lines 1, 2 and 7.
    const int made = sqlite3_exec(db,
                                  "CREATE TRIGGER refuse_lee BEFORE INSERT ON Candidates WHEN "
                                  "NEW.Last_Name = 'Lee' BEGIN SELECT RAISE(ABORT, 'no Lees'); END",
                                  nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(made, SQLITE_OK);
    // The second Update is line 1's company: refused in the first import only.
    const FaultPlan plan =
        fail_commit ? FaultPlan{true, 2, error, false, /*fail_line_done=*/6} : FaultPlan{};
    const FaultRun run = RunWithFault(*target, plan);
    EXPECT_EQ(run.summary.outcome, RunOutcome::kCompleted);
    EXPECT_EQ(run.summary.counts.lines_rejected, 3);
    ASSERT_EQ(run.lines.size(), size_t{kDataLines});
    boxes[fail_commit] = run.boxes;
  }
  ASSERT_EQ(boxes[0].size(), 6u);  // two for each of lines 1, 2 and 7
  for (size_t i = 0; i < boxes[0].size(); ++i) {
    EXPECT_TRUE(boxes[0][i].starts_with(i < 2   ? "line 1: "
                                        : i < 4 ? "line 2: "
                                                : "line 7: "))
        << boxes[0][i];
  }
  EXPECT_EQ(boxes[1], boxes[0]);
}

}  // namespace
}  // namespace talvenor::reliability
