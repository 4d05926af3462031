#include "app/cli/run_summary.h"

#include <cstdio>

#include "app/cli/json.h"
#include "records/connection_text.h"

namespace talvenor::app::cli {
namespace {

std::string_view OutcomeName(import::RunOutcome outcome) {
  switch (outcome) {
    case import::RunOutcome::kCompleted:
      return "completed";
    case import::RunOutcome::kFileUnreadable:
      return "file unreadable";
    case import::RunOutcome::kTargetNotOpened:
      return "target not opened";
    case import::RunOutcome::kBatchNotCreated:
      return "batch list not created";
    case import::RunOutcome::kReadFailed:
      return "file read failed";
    case import::RunOutcome::kTargetLost:
      return "target lost";
    case import::RunOutcome::kTargetFailed:
      return "target failed";
    case import::RunOutcome::kStopped:
      return "stopped";
    case import::RunOutcome::kFileRefused:
      return "file refused";
  }
  return "";
}

}  // namespace

std::string SummaryJson(const import::ImportSummary& summary, const SummaryFacts& facts) {
  const import::ImportCounts& c = summary.counts;
  std::string out;
  JsonWriter json(out);
  json.BeginObject();
  json.Key("outcome").String(OutcomeName(summary.outcome));
  json.Key("completed").Bool(summary.outcome == import::RunOutcome::kCompleted);
  if (facts.dry_run) json.Key("dry_run").Bool(true);
  if (!summary.message.empty()) {
    json.Key("message").String(records::HidePasswords(summary.message));
  }
  json.Key("lines_read").Int(c.lines_read);
  json.Key("blank_lines_skipped").Int(c.blank_lines_skipped);
  json.Key("companies_created").Int(c.companies_created);
  json.Key("companies_matched").Int(c.companies_matched);
  json.Key("contacts_created").Int(c.contacts_created);
  json.Key("contacts_matched").Int(c.contacts_matched);
  json.Key("contact_slots_skipped").Int(c.contact_slots_skipped);
  json.Key("positions_created").Int(c.positions_created);
  json.Key("positions_matched").Int(c.positions_matched);
  json.Key("script_rows").Int(c.script_rows);
  json.Key("saves_failed").Int(c.saves_failed);
  json.Key("lines_rejected").Int(c.lines_rejected);
  json.Key("batch_code");
  if (summary.BatchCode.empty()) {
    json.Null();
  } else {
    json.String(summary.BatchCode);
  }
  if (!facts.rejects.empty()) {
    json.Key("rejects_file").String(facts.rejects);
    json.Key("reasons_file").String(facts.reasons_path);
  }
  json.Key("warning_count").Int(facts.warning_count);
  json.Key("warnings").BeginArray();
  for (const std::string& warning : facts.warnings) json.String(warning);
  json.EndArray();
  json.EndObject();
  out += '\n';
  return out;
}

void PrintSummary(const import::ImportSummary& summary, const SummaryFacts& facts) {
  const import::ImportCounts& c = summary.counts;
  if (facts.dry_run) {
    std::printf(
        "Dry run: everything was rolled back and nothing was written. A real run\n"
        "now would give:\n");
  }
  std::printf("Data lines read:    %ld\n", c.lines_read);
  std::printf("Blank lines skipped: %ld\n", c.blank_lines_skipped);
  std::printf("Companies:          %ld created, %ld matched\n", c.companies_created,
              c.companies_matched);
  std::printf("Contact persons:    %ld created, %ld matched\n", c.contacts_created,
              c.contacts_matched);
  std::printf("Contact slots skipped (a name without first and last name): %ld\n",
              c.contact_slots_skipped);
  std::printf("Positions:          %ld created, %ld matched\n", c.positions_created,
              c.positions_matched);
  std::printf("Script rows:        %ld\n", c.script_rows);
  std::printf("Saves that failed:  %ld\n", c.saves_failed);
  std::printf("Lines rejected:     %ld\n", c.lines_rejected);
  std::printf("Warnings:           %ld\n", facts.warning_count);
  std::printf("Batch list:         %s%s\n", summary.BatchCode.c_str(),
              facts.dry_run && !summary.BatchCode.empty() ? " (not kept)" : "");
  if (!facts.rejects.empty()) {
    const std::string rejects(facts.rejects);
    const std::string reasons(facts.reasons_path);
    std::printf("Rejected lines in:  %s (reasons in %s)\n", rejects.c_str(), reasons.c_str());
  }
}

int Failed(bool json_wanted, int exit, std::string_view outcome, std::string_view why) {
  if (json_wanted) {
    std::string out;
    JsonWriter json(out);
    json.BeginObject().Key("outcome").String(outcome).Key("completed").Bool(false);
    json.Key("message").String(records::HidePasswords(why)).EndObject();
    std::printf("%s\n", out.c_str());
  }
  return exit;
}

}  // namespace talvenor::app::cli
