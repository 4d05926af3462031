#include "import/line_loop.h"

#include <utility>

#include "import/candidate_import.h"
#include "import/company_import.h"
#include "import/position_import.h"
#include "import/split_export_line.h"

namespace talvenor::import {

std::string Reason(const records::DbError& error) {
  std::string words;
  for (const records::ProviderError& p : error.providers) {
    if (p.text.empty() || p.text == error.description) continue;
    if (!words.empty()) words += "; ";
    words += p.text;
  }
  if (words.empty()) return error.description;
  if (error.description.empty()) return words;
  return error.description + " (" + words + ")";
}

RunOutcome StopOutcome(records::Fault fault) {
  switch (fault) {
    case records::Fault::kConnectionLost:
      return RunOutcome::kTargetLost;
    case records::Fault::kStopped:
      return RunOutcome::kStopped;
    default:
      return RunOutcome::kTargetFailed;
  }
}

LineLoop::LineLoop(RunState& run, TargetWatch& watch, ImportServices& services,
                   std::string_view file_name, bool dry_run)
    : run_(run),
      watch_(watch),
      services_(services),
      file_name_(file_name),
      dry_run_(dry_run),
      // A database file answers a look-up without a round trip, and
      // prepared statements there are as fast as any block.
      blocks_(watch.Dialect() != records::SqlDialect::kSqlite) {}

std::string RowCaption(long number) { return "Importing Row (" + std::to_string(number) + ")"; }

void LineLoop::ImportText(std::string_view text, std::string_view refused, std::string_view warning,
                          std::vector<HeldMessage>& messages) {
  ++run_.counts.lines_read;
  // Nothing of the line before survives but the reused field buffers.
  row_.company_key = records::Value();
  row_.first_contact = FirstContact{};
  row_.problems.clear();
  row_.warnings.clear();
  if (!warning.empty()) row_.warnings.emplace_back(warning);
  if (!refused.empty()) {
    row_.fields.clear();
    row_.problems.emplace_back(refused);
  } else {
    SplitExportLine(text, row_.fields);
    // Such a line would create a company of no name or a position of no
    // title from whatever text it holds.
    if (auto why = WhyNotAnExportLine(row_.fields)) {
      row_.problems.push_back("not an export line: it " + *why);
    }
  }
  if (!row_.problems.empty()) {
    ++run_.counts.lines_rejected;
    messages.clear();
    return;
  }

  run_.messages.Hold(true);
  ImportCompany(run_, row_);
  ImportContacts(run_, row_);
  ImportPosition(run_, row_);
  if (!row_.problems.empty()) ++run_.counts.lines_rejected;
  run_.messages.Hold(false);
  run_.messages.TakeHeld(messages);
}

void LineLoop::ShowHeld(long number, const std::vector<HeldMessage>& messages) {
  if (messages.empty()) return;
  if (number != caption_line_) {
    services_.progress.SetCaption(RowCaption(number));
    caption_line_ = number;
  }
  run_.messages.Release(messages);
}

void LineLoop::RestoreCaption() {
  if (caption_line_ == current_line_) return;
  caption_line_ = current_line_;
  services_.progress.SetCaption(RowCaption(current_line_));
}

void LineLoop::Tell(long number, long physical_number, std::string_view raw, bool cut) {
  services_.progress.LineFinished(
      LineOutcome{number, physical_number, raw, &row_.problems, &row_.warnings, cut});
  last_line_ = physical_number;
}

LineLoop::Pending& LineLoop::Hold() {
  if (held_ == pending_.size()) pending_.emplace_back();
  return pending_[held_++];
}

void LineLoop::TellPending() {
  for (size_t i = 0; i < held_; ++i) {
    const Pending& p = pending_[i];
    ShowHeld(p.number, p.messages);
    services_.progress.LineFinished(
        LineOutcome{p.number, p.physical_number, p.raw, &p.problems, &p.warnings, p.cut});
    last_line_ = p.physical_number;
    committed_ = p.counts;
  }
  held_ = 0;
  RestoreCaption();
}

bool LineLoop::Line(const ExportLine& line, ImportSummary& summary) {
  watch_.Clear();
  current_line_ = caption_line_ = line.number;
  Pending& held = Hold();
  ImportText(line.text, line.refused, line.warning, held.messages);
  held.number = line.number;
  held.physical_number = line.physical_number;
  held.text.assign(line.text);
  held.raw.assign(line.raw);
  held.refused.assign(line.refused);
  held.warning.assign(line.warning);
  held.cut = !line.refused.empty();
  held.problems = row_.problems;
  held.warnings = row_.warnings;
  held.counts = run_.counts;
  if (const auto& fault = watch_.fault()) return Recover(*fault, summary);
  if (dry_run_) {
    // Nothing is ever committed: what the line did is final for this run.
    TellPending();
    return true;
  }
  // A block is committed whole at its end.
  if (blocks_) return true;
  const records::DbResult<bool> done = watch_.LineDone();
  if (!done) return Recover(done.error(), summary);
  if (*done) TellPending();
  return true;
}

bool LineLoop::Finish(ImportSummary& summary) {
  LineByLine();
  if (dry_run_) {
    (void)watch_.Rollback();
    TellPending();
    return true;
  }
  return Commit(summary);
}

void LineLoop::BeginBlock(std::span<const ExportLine> lines) {
  if (!blocks_ || lines.empty()) return;
  if (look_ups_.Prepare(run_, lines)) run_.look_ups = &look_ups_;
  // A dry run keeps nothing back: each write's outcome is all it shows.
  if (!dry_run_) (void)watch_.DeferWrites(true);
}

bool LineLoop::EndBlock(ImportSummary& summary) {
  if (!blocks_) return true;
  LineByLine();
  if (dry_run_) return true;
  return Commit(summary);
}

void LineLoop::LineByLine() {
  run_.look_ups = nullptr;
  look_ups_.Clear();
  (void)watch_.DeferWrites(false);
}

bool LineLoop::Commit(ImportSummary& summary) {
  if (const records::DbStatus flushed = watch_.Flush(); !flushed) {
    return Recover(flushed.error(), summary);
  }
  TellPending();
  return true;
}

bool LineLoop::Recover(const records::DbError& why, ImportSummary& summary) {
  // What the block's look-ups knew, and the rows kept back, go with the
  // rollback.
  LineByLine();
  if (records::FaultOf(why) == records::Fault::kStopped) {
    // Stopped while waiting for the import lock, which a group asks for at
    // its first statement: only the line in hand is undone.
    (void)watch_.Rollback();
    held_ = 0;
    run_.counts = committed_;
    return StopOnFault(why, summary);
  }
  const bool fault = records::FaultOf(why) != records::Fault::kNone;
  if (dry_run_ || !watch_.CanUndoLines()) {
    // The writes took effect statement by statement (or, in a dry run, none
    // ever will): the lines stand as they were written.
    if (!fault) {
      long newly_rejected = 0;
      for (size_t i = 0; i < held_; ++i) {
        Pending& p = pending_[i];
        if (p.problems.empty()) ++newly_rejected;
        p.problems.push_back("the line's rows could not be committed: " + Reason(why));
        p.counts.lines_rejected += newly_rejected;
      }
    }
    TellPending();
    run_.counts = committed_;
    return fault ? StopOnFault(why, summary) : true;
  }

  (void)watch_.Rollback();
  run_.counts = committed_;
  // Each held line is imported again and told at once; none is held after.
  // Only the messages of the second import are shown: those of the first
  // belong to writes that were undone.
  const size_t lines = held_;
  held_ = 0;
  for (size_t i = 0; i < lines; ++i) {
    const Pending& p = pending_[i];
    watch_.Clear();
    ImportText(p.text, p.refused, p.warning, redo_messages_);
    if (const auto& failed = watch_.fault()) {
      const records::DbError error = *failed;
      (void)watch_.Rollback();
      run_.counts = committed_;
      ShowHeld(p.number, redo_messages_);
      return StopOnFault(error, summary);
    }
    if (const records::DbStatus flushed = watch_.Flush(); !flushed) {
      (void)watch_.Rollback();
      run_.counts = committed_;
      if (records::FaultOf(flushed.error()) != records::Fault::kNone) {
        ShowHeld(p.number, redo_messages_);
        return StopOnFault(flushed.error(), summary);
      }
      // The line alone cannot be committed: nothing of it is stored.
      ++run_.counts.lines_read;
      ++run_.counts.lines_rejected;
      row_.problems.assign(1, "the line's rows could not be committed: " + Reason(flushed.error()));
    }
    committed_ = run_.counts;
    ShowHeld(p.number, redo_messages_);
    Tell(p.number, p.physical_number, p.raw, p.cut);
  }
  RestoreCaption();
  return true;
}

bool LineLoop::StopOnFault(const records::DbError& why, ImportSummary& summary) {
  const records::Fault fault = records::FaultOf(why);
  summary.outcome = StopOutcome(fault);
  summary.fault = fault;
  // A stop asked for while the target kept the run waiting ends the run as
  // any stop does.
  if (fault == records::Fault::kStopped) {
    summary.message =
        "Stopped after line " + std::to_string(last_line_) + " of " + file_name_ + " (interrupted)";
    return false;
  }
  std::string reason = Reason(why);
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
  summary.message = "Stopped after line " + std::to_string(last_line_) + " of " + file_name_ +
                    ": " + reason +
                    ". The lines before it are stored; import the same file again to add the rest.";
  return false;
}

}  // namespace talvenor::import
