#include "import/import_run.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "import/candidate_import.h"
#include "import/company_import.h"
#include "import/connection_watch.h"
#include "import/export_reader.h"
#include "import/import_row.h"
#include "import/position_import.h"
#include "import/split_export_line.h"
#include "records/import_batch.h"
#include "records/open_target.h"
#include "records/target.h"
#include "records/target_problem.h"
#include "text/string_utils.h"

namespace talvenor::import {

namespace {

using records::MessageIcon;

// Ends a run in its opening phase: the window goes back to idle first, then
// the operator is told why (a message box with no title of its own).
ImportSummary FailOpening(ImportServices& services, RunOutcome outcome, std::string message) {
  services.progress.SetBusy(false);
  services.progress.SetCaption(kIdleCaption);
  services.op.ShowMessage(message, "", MessageIcon::kNone);
  ImportSummary summary;
  summary.outcome = outcome;
  summary.message = std::move(message);
  return summary;
}

// Imports the data lines one by one: each is split, then its company, its
// contacts and its position, then the engine may commit the whole line.
void ImportLines(ExportReader& reader, std::string_view file_name, RunState& run,
                 const ConnectionWatch& watch, ImportServices& services, ImportSummary& summary) {
  ExportLine line;
  ImportRow row;
  for (;;) {
    const auto next = reader.Next(line);
    if (!next.has_value()) {
      summary.outcome = RunOutcome::kReadFailed;
      summary.message = next.error().message;
      services.op.ShowMessage(summary.message, "", MessageIcon::kNone);
      return;
    }
    if (!*next) return;

    const long counter = ++run.counts.lines_read;
    services.progress.SetCaption("Importing Row (" + std::to_string(counter) + ")");
    services.progress.PumpEvents();

    // Nothing of the line before survives but the reused field buffers.
    SplitExportLine(line.text, row.fields);
    row.company_key = records::Value();
    row.first_contact = FirstContact{};
    row.problems.clear();
    row.warnings.clear();

    ImportCompany(run, row);
    ImportContacts(run, row);
    ImportPosition(run, row);

    if (!run.errors.Step(run.target.db.LineDone())) {
      const std::string why = run.errors.last()->description;
      row.problems.push_back("the line's rows could not be committed: " + why);
      services.op.ShowMessage(why, "", MessageIcon::kNone);
    }
    if (!row.problems.empty()) ++run.counts.lines_rejected;
    services.progress.LineFinished(
        LineOutcome{line.number, line.physical_number, line.raw, &row.problems, &row.warnings});

    // Without its connection every later line would only be rejected, row by
    // row, and the run would still look complete.
    if (services.progress.StopRequested()) {
      summary.outcome = RunOutcome::kStopped;
      summary.message = "Stopped after line " + std::to_string(line.physical_number) + " of " +
                        std::string(file_name) + " (interrupted)";
      return;
    }
    if (const auto& lost = watch.lost()) {
      summary.outcome = RunOutcome::kTargetLost;
      summary.message = "The connection to the target database was lost (" + lost->description;
      for (const records::ProviderError& p : lost->providers) summary.message += " " + p.text;
      summary.message += "). The run stopped after data line " + std::to_string(counter) +
                         "; the lines after it were not imported, and the rows of rejected "
                         "lines not stored. Import the file again to complete the import.";
      services.op.ShowMessage(summary.message, "", MessageIcon::kNone);
      return;
    }
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

  // The reader owns the file: it is closed whichever way this function ends.
  auto reader = ExportReader::Open(text::Trim(request.export_path));
  if (!reader.has_value()) {
    return FailOpening(services, RunOutcome::kFileUnreadable, reader.error().message);
  }

  progress.AddLine("Step1: Opening Target Database");
  auto db = open_target(request.TargetPath, request.TargetIsOdbc);
  if (!db.has_value()) {
    return FailOpening(
        services, RunOutcome::kTargetNotOpened,
        records::TargetOpenProblem(db.error(), request.TargetPath, request.TargetIsOdbc));
  }

  MessageLog messages(services.op);
  ConnectionWatch watch(**db);
  records::Target target{watch, request.TargetIsOdbc, services.clock, messages,
                         services.clock_cache};
  RunState run{target, messages, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};

  // Without its batch list a run would attach its records to no list (or to an
  // earlier run's): it stops before its first data line instead.
  records::DbError batch_error;
  std::optional<std::string> code = records::CreateImportBatch(target, &batch_error);
  if (!code.has_value()) {
    std::string why = records::BatchListProblem(
        **db, batch_error.number != 0 ? std::optional(batch_error) : std::nullopt,
        request.TargetPath, request.TargetIsOdbc);
    (*db)->Close();
    return FailOpening(services, RunOutcome::kBatchNotCreated, std::move(why));
  }
  run.BatchCode = std::move(*code);
  progress.AddLine("Step2: Begin Transferring Companies/Names");

  OpenInsertSets(run);
  ImportSummary summary;
  ImportLines(*reader, text::Trim(request.export_path), run, watch, services, summary);
  if (summary.outcome != RunOutcome::kTargetLost && !run.errors.Step(target.db.Flush())) {
    services.op.ShowMessage(run.errors.last()->description, "", MessageIcon::kNone);
  }

  progress.AddLine("Imported " + std::to_string(run.counts.lines_read) + " Talvenor Records.");
  CloseInsertSets(run);
  (*db)->Close();
  db->reset();

  summary.counts = run.counts;
  summary.BatchCode = run.BatchCode;
  progress.RunEnding(summary);
  progress.AddLine("Import Complete");
  progress.SetCaption(kIdleCaption);
  progress.SetBusy(false);

  summary.counts = run.counts;
  summary.BatchCode = run.BatchCode;
  return summary;
}

}  // namespace talvenor::import
