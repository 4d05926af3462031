#include "import/import_run.h"

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "import/export_check.h"
#include "import/export_reader.h"
#include "import/import_row.h"
#include "import/line_loop.h"
#include "import/target_watch.h"
#include "records/import_batch.h"
#include "records/open_target.h"
#include "records/target.h"
#include "records/target_problem.h"
#include "text/string_utils.h"

namespace talvenor::import {

bool StoppedEarly(RunOutcome outcome) {
  return outcome == RunOutcome::kTargetLost || outcome == RunOutcome::kTargetFailed ||
         outcome == RunOutcome::kStopped;
}

namespace {

using records::MessageIcon;

// Ends a run in its opening phase: the window goes back to idle first, then
// the operator is told why (a message box with no title of its own).
ImportSummary FailOpening(ImportServices& services, RunOutcome outcome, std::string message,
                          bool shown = false) {
  services.progress.SetBusy(false);
  services.progress.SetCaption(kIdleCaption);
  if (!shown) services.op.ShowMessage(message, "", MessageIcon::kNone);
  ImportSummary summary;
  summary.outcome = outcome;
  summary.message = std::move(message);
  return summary;
}

// Tells the operator of a wait for another import's lock on the target once
// it passes two seconds, and lets the run be stopped while it lasts.
class TurnWait final : public records::TurnWaiter {
 public:
  explicit TurnWait(ImportProgress& progress) : progress_(progress) {}

  bool Waiting(double seconds) override {
    if (seconds < last_seconds_) told_ = false;  // a wait of its own
    last_seconds_ = seconds;
    if (seconds >= 2 && !told_) {
      told_ = true;
      progress_.AddLine(kWaitingForTurn);
    }
    progress_.PumpEvents();
    return !progress_.StopRequested();
  }

 private:
  ImportProgress& progress_;
  double last_seconds_ = 0;
  bool told_ = false;
};

// A data line read ahead with its block: ExportLine's texts are the reader's
// and last only until the next line is read.
struct HeldLine {
  long number = 0, physical_number = 0;
  std::string text, raw, refused, warning;
  ExportLine View() const { return {number, physical_number, text, raw, refused, warning}; }
  void Keep(const ExportLine& line) {
    number = line.number;
    physical_number = line.physical_number;
    text.assign(line.text);
    raw.assign(line.raw);
    refused.assign(line.refused);
    warning.assign(line.warning);
  }
};

// Reads the next block of data lines (LineLoop::block_lines). Ends the block
// early at the end of the file, a read error, or a stop asked for.
struct BlockRead {
  std::vector<HeldLine> held;  // the first `count` are the block's; the rest keep their room
  std::vector<ExportLine> lines;
  std::optional<std::string> error;  // the file failed after the block's lines
  bool at_end = false;               // the file has no more lines

  void Read(ExportReader& reader, const LineLoop& loop, ImportProgress& progress) {
    lines.clear();
    error.reset();
    size_t bytes = 0;
    size_t count = 0;
    ExportLine line;
    while (count < loop.block_lines() && bytes < LineLoop::kBlockBytes) {
      const auto next = reader.Next(line);
      if (!next.has_value()) {
        error = next.error().message;
        break;
      }
      if (!*next) {
        at_end = !reader.stopped();
        break;
      }
      if (loop.block_lines() == 1) {
        lines.push_back(line);  // imported before the next line is read
        break;
      }
      if (count == held.size()) held.emplace_back();
      held[count++].Keep(line);
      bytes += line.text.size() + line.raw.size();
      if (reader.stopped() || progress.StopRequested()) break;
    }
    // Views of the held texts, once none of them moves any more.
    for (size_t i = 0; i < count; ++i) lines.push_back(held[i].View());
  }
};

// Imports the data lines block by block, each line split, then its company,
// its contacts and its position; the loop tells each line's fate once it is
// committed. A read error or a stop asked for ends the run after the lines
// so far are committed.
void ImportLines(ExportReader& reader, LineLoop& loop, std::string_view file_name,
                 ImportServices& services, ImportSummary& summary) {
  auto stop = [&] {
    if (!loop.Finish(summary)) return;
    summary.outcome = RunOutcome::kStopped;
    summary.message = "Stopped after line " + std::to_string(loop.last_line()) + " of " +
                      std::string(file_name) + " (interrupted)";
  };
  BlockRead block;
  for (;;) {
    block.Read(reader, loop, services.progress);
    const std::span<const ExportLine> lines(block.lines);
    loop.BeginBlock(lines);
    auto started = std::chrono::steady_clock::now();
    for (size_t i = 0; i < lines.size(); ++i) {
      services.progress.SetCaption(RowCaption(lines[i].number));
      services.progress.PumpEvents();
      if (!loop.Line(lines[i], summary)) return;
      if (services.progress.StopRequested()) return stop();
      if (i + 1 < lines.size() &&
          std::chrono::steady_clock::now() - started > LineLoop::kBlockTime) {
        if (!loop.EndBlock(summary)) return;
        loop.BeginBlock(lines.subspan(i + 1));
        started = std::chrono::steady_clock::now();
      }
    }
    if (!loop.EndBlock(summary)) return;

    if (block.error) {
      if (!loop.Finish(summary)) return;
      summary.outcome = RunOutcome::kReadFailed;
      summary.message = std::move(*block.error);
      services.op.ShowMessage(summary.message, "", MessageIcon::kNone);
      return;
    }
    if (block.at_end) {
      loop.Finish(summary);
      return;
    }
    // The reader stops at a stop asked for while it reads (a long line, a
    // pipe that sends nothing).
    if (reader.stopped() || services.progress.StopRequested()) return stop();
  }
}

}  // namespace

ImportSummary RunImport(const ImportRequest& request, ImportServices& services) {
  return RunImport(request, services, records::OpenTarget);
}

ImportSummary RunImport(const ImportRequest& request, ImportServices& services,
                        const TargetOpener& open_target) {
  ImportProgress& progress = services.progress;
  progress.SetBusy(true);
  progress.ClearList();

  const std::string file_name = text::Trim(request.export_path);
  // The reader owns the file: it is closed whichever way this function ends.
  auto reader = ExportReader::Open(file_name);
  if (!reader.has_value()) {
    return FailOpening(services, RunOutcome::kFileUnreadable, reader.error().message);
  }

  reader->set_max_line_bytes(request.max_line_bytes);
  // While a long line is read, the window keeps repainting and can be asked
  // to stop.
  reader->set_stop_check([&progress, &file = *reader] {
    if (file.in_long_line()) progress.PumpEvents();
    return progress.StopRequested();
  });

  // A file of another kind would be read as lines of garbage, each creating
  // records: it is refused before the target is opened. The window asks
  // whether to import it all the same.
  if (!request.force) {
    if (auto refused = CheckExportStart(*reader, file_name)) {
      if (!progress.ImportAnyway(*refused)) {
        return FailOpening(services, RunOutcome::kFileRefused, std::move(*refused),
                           /*shown=*/progress.AsksToImportAnyway());
      }
    }
  }

  progress.AddLine("Step1: Opening Target Database");
  auto db = open_target(request.target);
  if (!db.has_value()) {
    return FailOpening(services, RunOutcome::kTargetNotOpened,
                       records::TargetOpenProblem(db.error(), request.target, request.init_advice));
  }

  MessageLog messages(services.op);
  TargetWatch watch(**db);
  records::Target target{watch, services.clock, messages, services.clock_cache};
  RunState run(target, messages);

  // The run stops before its first data line when it cannot have its batch
  // list (or it would attach its records to no list, or an earlier run's).
  // Whether the list's table is there is read before anything is written: a
  // file that is no target is left exactly as it was. Only a real run then
  // sets the target up for writing; a dry run holds every write instead.
  auto refuse = [&](std::optional<records::DbError> error) {
    const std::optional<records::DbError> fault = watch.fault();
    (void)watch.Rollback();
    if (fault) error = fault;
    std::string why = records::BatchListProblem(**db, error, request.target, request.init_advice);
    (*db)->Close();
    const records::Fault kind = fault ? records::FaultOf(*fault) : records::Fault::kNone;
    ImportSummary failed = FailOpening(
        services, kind == records::Fault::kNone ? RunOutcome::kBatchNotCreated : StopOutcome(kind),
        std::move(why));
    failed.fault = kind;
    return failed;
  };
  auto probe =
      watch.OpenRecordset("SELECT Code FROM Rollup_Names WHERE 1=0", records::SetKind::kDynaset);
  if (!probe) return refuse(probe.error());
  (*probe)->Close();
  if (request.dry_run) {
    if (const records::DbStatus held = watch.HoldAllWrites(); !held) {
      (*db)->Close();
      return FailOpening(services, RunOutcome::kTargetNotOpened, Reason(held.error()));
    }
  } else if (const records::DbStatus ready = watch.PrepareToWrite(); !ready) {
    return refuse(ready.error());
  }
  TurnWait turn_wait(progress);
  if (!request.dry_run) {
    // A dry run writes nothing to wait for: it takes no turns.
    if (const records::DbStatus turns = watch.TakeTurns(&turn_wait); !turns) {
      (*db)->Close();
      return FailOpening(services, RunOutcome::kTargetNotOpened, Reason(turns.error()));
    }
  }

  // The list is committed before the first line, so that every later group
  // of lines, whatever becomes of it, has its list to join.
  records::DbResult<std::string> code = records::CreateImportBatch(target);
  if (code.has_value() && !request.dry_run) {
    if (records::DbStatus flushed = watch.Flush(); !flushed) {
      code = std::unexpected(std::move(flushed.error()));
    }
  }
  if (!code.has_value()) {
    // An error numbered 0 is none of the engine (every code tried was taken).
    if (code.error().number == 0) return refuse(std::nullopt);
    return refuse(std::move(code.error()));
  }
  run.BatchCode = std::move(*code);
  progress.AddLine("Step2: Begin Transferring Companies/Names");

  OpenInsertSets(run);
  ImportSummary summary;
  LineLoop loop(run, watch, services, file_name, request.dry_run);
  ImportLines(*reader, loop, file_name, services, summary);
  run.counts.blank_lines_skipped = reader->blank_lines();

  progress.AddLine("Imported " + std::to_string(run.counts.lines_read) + " Talvenor Records.");
  // A run that stopped early says where and why, in the list of every front end.
  if (StoppedEarly(summary.outcome)) progress.AddLine(summary.message);
  CloseInsertSets(run);
  (*db)->Close();
  db->reset();

  summary.counts = run.counts;
  summary.BatchCode = run.BatchCode;
  progress.RunEnding(summary);
  progress.AddLine("Import Complete");
  progress.SetCaption(kIdleCaption);
  progress.SetBusy(false);

  return summary;
}

}  // namespace talvenor::import
