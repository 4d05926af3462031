// The target itself fails under a run: a disk that fills, writes, syncs and
// locks that fail one at a time (through an SQLite VFS that injects them), a
// file another program keeps locked. After each, what the run counted is
// what the target holds, every line it told of is stored, and a second run
// completes the target without storing anything twice.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "records/sqlite/sqlite_database.h"
#include "tests/reliability/faulty_vfs.h"
#include "tests/reliability/reliability_target.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_operator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/targets.h"

namespace talvenor::reliability {
namespace {

using import::ImportSummary;
using import::RunOutcome;
using testing::EngineKind;
using testing::RecordingProgress;
using testing::TestTarget;

constexpr const char* kFile = "first_import.csv";
constexpr long kDataLines = 8;

struct TargetRun {
  ImportSummary summary;
  std::vector<RecordingProgress::Line> lines;
  std::vector<std::string> list;
};

// Imports the small file, committing every `group` lines, so that a fault
// can strike a group with lines before it, in it and after it.
TargetRun Import(const std::string& path, int group = 3) {
  TargetRun run;
  RecordingProgress progress;
  testing::FakeClock clock;
  testing::RecordingOperator op;
  records::ClockCache cache;
  import::ImportServices services{op, clock, cache, progress};
  const auto open = [&](const records::TargetAddress& target)
      -> records::DbResult<std::unique_ptr<records::Database>> {
    auto db = records::SqliteDatabase::Open(target.text, records::SqliteOpen::kExisting);
    if (!db) return std::unexpected(std::move(db.error()));
    (*db)->SetCommitPolicy({.lines = group, .milliseconds = 0});
    return std::unique_ptr<records::Database>(std::move(*db));
  };
  run.summary =
      import::RunImport(import::ImportRequest{testing::DataFile(kFile), {path}}, services, open);
  run.lines = progress.lines;
  run.list = progress.list;
  return run;
}

class TargetFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    FaultyVfs::Install();
    FaultyVfs::Disarm();
    auto target = FreshTarget();
    ASSERT_NE(target, nullptr);
    const TargetRun clean = Import(target->path());
    ASSERT_EQ(clean.summary.outcome, RunOutcome::kCompleted);
    reference_ = Records(target->path());
  }
  void TearDown() override { FaultyVfs::Disarm(); }

  // Runs the import with the VFS armed by `arm`, then checks the run and the
  // target, then runs again without faults. Returns whether a fault struck.
  template <class Arm>
  bool CheckRun(const Arm& arm) {
    auto target = FreshTarget();
    if (target == nullptr) return false;
    arm();
    const TargetRun run = Import(target->path());
    const bool struck = FaultyVfs::Failed();
    FaultyVfs::Disarm();

    const ImportSummary& s = run.summary;
    if (s.outcome == RunOutcome::kTargetFailed && s.BatchCode.empty()) {
      // Struck before the first line: the run never began.
      EXPECT_EQ(s.fault, records::Fault::kStorage);
      EXPECT_EQ(s.counts.lines_read, 0);
    } else if (s.outcome == RunOutcome::kTargetFailed) {
      EXPECT_EQ(s.fault, records::Fault::kStorage);
      const long last = run.lines.empty() ? 0 : run.lines.back().physical_number;
      EXPECT_TRUE(s.message.starts_with("Stopped after line " + std::to_string(last) + " of "))
          << s.message;
      EXPECT_EQ(run.list.back(), "Import Complete");
    } else if (s.outcome != RunOutcome::kBatchNotCreated) {
      EXPECT_EQ(s.outcome, RunOutcome::kCompleted) << s.message;
      EXPECT_EQ(s.counts.lines_read, kDataLines);
    }
    // Told and counted means stored, and only that.
    EXPECT_EQ(run.lines.size(), size_t(s.counts.lines_read));
    EXPECT_EQ(CountStored(target->path()), Created(s.counts));
    EXPECT_EQ(SqliteCount(target->path(), "SELECT COUNT(*) FROM Positions"),
              s.counts.positions_created);
    EXPECT_EQ(SqliteRows(target->path(), "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});

    const TargetRun again = Import(target->path());
    EXPECT_EQ(again.summary.outcome, RunOutcome::kCompleted) << again.summary.message;
    EXPECT_EQ(Records(target->path()), reference_);
    EXPECT_EQ(Orphans(target->path()), std::vector<std::string>{});
    return struck;
  }

  std::map<std::string, int> reference_;
};

TEST_F(TargetFaults, EveryWriteSyncAndLockFailedInTurn) {
  struct Case {
    const char* what;
    VfsCall call;
    int code;
    bool lasting;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a write fails once", VfsCall::kWrite, SQLITE_IOERR_WRITE, false},
           {"writes fail from then on", VfsCall::kWrite, SQLITE_IOERR_WRITE, true},
           {"a sync fails once", VfsCall::kSync, SQLITE_IOERR_FSYNC, false},
           {"the write lock is refused once", VfsCall::kLock, SQLITE_BUSY, false},
       }) {
    SCOPED_TRACE(c.what);
    long struck = 0;
    for (long n = 1;; ++n) {
      SCOPED_TRACE("call " + std::to_string(n));
      if (!CheckRun([&] { FaultyVfs::Arm(c.call, n, c.code, c.lasting); })) break;
      ++struck;
      if (HasFailure()) return;
    }
    std::printf("[ figures  ] %s: %ld runs, each with its own failed call\n", c.what, struck);
  }
}

TEST_F(TargetFaults, ADiskThatFillsPartWay) {
  // From no room at all, in steps, until the import fits.
  long full = 0;
  for (long long budget = 0; full < 200; budget += 40 * 1024) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    if (!CheckRun([&] { FaultyVfs::Budget(budget); })) break;
    ++full;
    if (HasFailure()) return;
  }
  EXPECT_GT(full, 1);
  std::printf("[ figures  ] %ld runs met a full disk before the import fitted\n", full);
}

TEST_F(TargetFaults, ATargetLockedByAnotherProgramStopsTheRun) {
  auto target = FreshTarget();
  ASSERT_NE(target, nullptr);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(target->path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const TargetRun run = Import(target->path());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  EXPECT_EQ(run.summary.outcome, RunOutcome::kTargetFailed);
  EXPECT_EQ(run.summary.fault, records::Fault::kLocked);
  EXPECT_EQ(run.summary.counts.lines_read, 0);
  EXPECT_EQ(CountStored(target->path()), StoredRows{});
  EXPECT_EQ(Import(target->path()).summary.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(Records(target->path()), reference_);
}

}  // namespace
}  // namespace talvenor::reliability
