#pragma once

#include <chrono>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/block_look_ups.h"
#include "import/export_reader.h"
#include "import/import_row.h"
#include "import/import_run.h"
#include "import/run_state.h"
#include "import/target_watch.h"

namespace talvenor::import {

// Imports data lines and tells their fate only once it is final. An engine
// may hold many lines in one open transaction; their outcomes (and the run's
// counts) are kept back until its commit succeeds. When a commit fails, or a
// line meets an error that shows the target can store nothing more, the open
// transaction is rolled back and its lines are imported again, one line per
// transaction, so that exactly the lines that cannot be stored are rejected.
// A target that still fails then ends the run after its last stored line.
//
// On a server every round trip costs, so the lines come in blocks
// (block_lines): the look-ups of a block are answered by one query
// (BlockLookUps), its new rows are kept back and sent together
// (Database::DeferWrites), and the block is committed as one group. Any
// failure in a block sends it back line by line, as a failed commit does.
class LineLoop {
 public:
  LineLoop(RunState& run, TargetWatch& watch, ImportServices& services, std::string_view file_name,
           bool dry_run);

  // How many lines to hand over per block: 1 where the lines go one by one.
  size_t block_lines() const { return blocks_ ? kBlockLines : 1; }
  // Lines of a block are at most this many bytes in all (and block_lines).
  static constexpr size_t kBlockBytes = size_t{4} << 20;
  // A block whose lines have taken this long is committed where it is: it
  // holds the target's import lock, which keeps other imports waiting.
  static constexpr std::chrono::milliseconds kBlockTime{1000};

  // The lines that Line will import next, up to the block's end (EndBlock).
  void BeginBlock(std::span<const ExportLine> lines);
  // Commits the block's lines. False when the run must stop.
  bool EndBlock(ImportSummary& summary);

  // Imports one data line. A line the reader refused, or one that cannot be
  // an export line (WhyNotAnExportLine), creates nothing and is rejected. False
  // when the run must stop (the summary says why).
  bool Line(const ExportLine& line, ImportSummary& summary);
  // Commits what is pending (a dry run rolls everything back). False when the
  // run had to stop.
  bool Finish(ImportSummary& summary);
  // The file line of the last line whose fate was told (0 before the first).
  long last_line() const { return last_line_; }

 private:
  struct Pending {
    long number = 0, physical_number = 0;
    std::string text, raw, refused, warning;
    bool cut = false;
    std::vector<std::string> problems, warnings;
    std::vector<HeldMessage> messages;  // shown to the operator when the line is told
    ImportCounts counts;                // the run's counts with this line
  };

  // The next free place for a pending line; its texts and lists keep their
  // room from the group before, so that holding a line allocates nothing.
  Pending& Hold();
  // Splits and imports one line's text into row_, counting it; `refused`
  // and `warning` are what the reader found (ExportLine). Its messages to the
  // operator are kept back in `messages`.
  void ImportText(std::string_view text, std::string_view refused, std::string_view warning,
                  std::vector<HeldMessage>& messages);
  // Shows a line's messages with the import button naming that line, as when
  // they arose (a message box names the line of the caption).
  void ShowHeld(long number, const std::vector<HeldMessage>& messages);
  void RestoreCaption();
  void Tell(long number, long physical_number, std::string_view raw, bool cut);
  void TellPending();
  // Commits what is pending and tells it; on failure Recover.
  bool Commit(ImportSummary& summary);
  // Rolls back what is pending and imports it again line by line.
  bool Recover(const records::DbError& why, ImportSummary& summary);
  // Look-ups go to the target one by one and every write at once, until
  // the next block.
  void LineByLine();

  static constexpr size_t kBlockLines = 1000;
  bool StopOnFault(const records::DbError& why, ImportSummary& summary);

  RunState& run_;
  TargetWatch& watch_;
  ImportServices& services_;
  std::string file_name_;
  bool dry_run_;
  ImportRow row_;
  std::vector<Pending> pending_;  // the first held_ are the lines waiting for a commit
  size_t held_ = 0;
  ImportCounts committed_;  // the counts of the lines whose fate was told
  long last_line_ = 0;
  long current_line_ = 0;  // the data line being imported
  long caption_line_ = 0;  // the data line the import button names
  std::vector<HeldMessage> redo_messages_;
  bool blocks_ = false;  // lines come in blocks (block_lines)
  BlockLookUps look_ups_;
};

// How a run ends that a failing target stopped: kTargetLost for a lost
// connection, kStopped for a stop asked for (Ctrl-C, SIGTERM, the window)
// while the target kept the run waiting, kTargetFailed for any other fault.
RunOutcome StopOutcome(records::Fault fault);

// The import button's caption while data line `number` is imported.
std::string RowCaption(long number);

// An error's description followed by its engine's own words, for an
// operator: "System resource exceeded. (database or disk is full)".
std::string Reason(const records::DbError& error);

}  // namespace talvenor::import
