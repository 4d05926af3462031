#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/export_reader.h"
#include "import/run_state.h"
#include "records/clock.h"
#include "records/clock_cache.h"
#include "records/operator.h"
#include "records/target_address.h"

namespace talvenor::import {

// What became of one data line.
struct LineOutcome {
  long number = 0;           // data-line number: 1, 2, ... (header and empty lines not counted)
  long physical_number = 0;  // the line's ordinal in the file
  std::string_view raw;      // the line's bytes as in the file, without its line end
  // Why rows of the line could not be stored; empty when every row was.
  const std::vector<std::string>* problems = nullptr;
  // What of the line was stored otherwise than given (see ImportRow::warnings).
  const std::vector<std::string>* warnings = nullptr;
  // raw holds only the first bytes of a line too long to read: it is no line
  // to write out again.
  bool cut = false;
  bool all_stored() const { return problems == nullptr || problems->empty(); }
};

struct ImportSummary;

// Where a run shows its progress: the window's list and import button, the
// command line, or a test's recorder.
class ImportProgress {
 public:
  virtual ~ImportProgress() = default;
  // Empties the progress list.
  virtual void ClearList() = 0;
  // Adds a line to the progress list and brings the newest line into view.
  virtual void AddLine(std::string_view text) = 0;
  // Sets the caption of the import button.
  virtual void SetCaption(std::string_view caption) = 0;
  // Lets the window process its pending events once (it is disabled, so they
  // can only repaint).
  virtual void PumpEvents() = 0;
  // Busy: the window disabled and the hourglass shown; not busy: the window
  // enabled and the default pointer back.
  virtual void SetBusy(bool busy) = 0;
  // Called once per data line when its fate is final: its rows are committed
  // (or the line was rejected). Lines grouped into one transaction are
  // reported after the group's commit, in file order. The command line keeps
  // rejects and moves its progress bar.
  virtual void LineFinished(const LineOutcome& outcome) { (void)outcome; }
  // Asked after each data line: true stops the run there. The lines handled so
  // far are committed and the run ends with its summary, as "Stopped after
  // line N of FILE (interrupted)".
  virtual bool StopRequested() { return false; }
  // True when a file refused as no export file is shown with a question
  // whether to import it anyway (the window) rather than as a message.
  virtual bool AsksToImportAnyway() const { return false; }
  // Asked, when AsksToImportAnyway, with why the file was refused: true
  // imports it all the same, false ends the run (nothing more is shown).
  virtual bool ImportAnyway(std::string_view why) {
    (void)why;
    return false;
  }
  // Called once at the end of a run that opened its target, before "Import
  // Complete", with the counts of the committed lines.
  virtual void RunEnding(const ImportSummary& summary) { (void)summary; }
};

// The import button's caption while no run is going on.
inline constexpr std::string_view kIdleCaption = "Click Here To Begin Import";

// Added to the list when a run has waited two seconds for another import
// into the same server target to commit its group of lines.
inline constexpr std::string_view kWaitingForTurn =
    "Waiting for another import into this database\u2026";

// What a run works on.
struct ImportRequest {
  std::string export_path;        // the text of Text1; the run trims its blanks
  records::TargetAddress target;  // a database file or an ODBC connection text
  // Do the whole run in one transaction and roll it back at the end: the same
  // progress and counts as a real run, nothing written.
  bool dry_run = false;
  // Import a file that does not look like an export file (CheckExportFile)
  // all the same.
  bool force = false;
  // The longest line imported; a longer one is rejected (ExportReader).
  size_t max_line_bytes = kDefaultMaxLineBytes;
  // The command that creates the import's tables in the target, named by the
  // messages of a run that finds it missing or without them. The front end
  // that starts the run writes it.
  std::string init_advice = {};
};

// What a run needs from outside. The clock cache lives as long as the program.
struct ImportServices {
  records::Operator& op;
  records::Clock& clock;
  records::ClockCache& clock_cache;
  ImportProgress& progress;
};

enum class RunOutcome {
  kCompleted,        // every data line was read and handled
  kFileUnreadable,   // the export file could not be opened
  kTargetNotOpened,  // the target database could not be opened
  kBatchNotCreated,  // the run's batch list could not be stored
  kReadFailed,       // the export file failed part-way; the lines before were imported
  kTargetLost,       // the connection to the target was lost part-way; the run stopped
  kTargetFailed,     // the target could store nothing more (disk full, I/O error, read-only,
                     // a lock not released in time); the run stopped after the last stored line
  kStopped,          // the operator stopped the run (Ctrl-C, the window); whole lines kept
  kFileRefused,      // the file is not an export file (binary, compressed, other columns);
                     // nothing was written
};

// True for the outcomes of a run that began its lines and stopped before the
// end of the file: the run lists its message after "Imported N ...".
bool StoppedEarly(RunOutcome outcome);

struct ImportSummary {
  RunOutcome outcome = RunOutcome::kCompleted;
  std::string message;  // why the run failed or stopped; empty when it completed
  // What the target's failure was, when the run stopped on one (kTargetLost,
  // kTargetFailed, or a batch list the target refused).
  records::Fault fault = records::Fault::kNone;
  ImportCounts counts;
  std::string BatchCode;  // empty when no batch list was made
};

// The import run of the import button: opens the export file and the target,
// creates the run's batch list, then imports every data line (company,
// contacts, position) and closes with a summary line.
//
// Until the batch list exists any failure ends the run at once: the window is
// restored and the operator is shown the error's message; nothing has been
// written. From the first data line on a failing step is skipped and the run
// goes on; rows that could not be stored are counted and named per line. A
// connection to the target that is lost stops the run after the line it
// struck (every later statement would fail too): the operator is told which
// line, and a second run of the file completes the target. The export file
// and the target are closed at the end of every run.
ImportSummary RunImport(const ImportRequest& request, ImportServices& services);

// Opens the target of a run (records::OpenTarget for RunImport above).
using TargetOpener = std::function<records::DbResult<std::unique_ptr<records::Database>>(
    const records::TargetAddress& target)>;

// The same run on a target opened by `open_target`: a wrapper around a real
// engine, such as one that makes chosen statements fail.
ImportSummary RunImport(const ImportRequest& request, ImportServices& services,
                        const TargetOpener& open_target);

}  // namespace talvenor::import
