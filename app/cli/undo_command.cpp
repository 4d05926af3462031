// talvenor-import undo CODE --target TEXT: takes back what one import run
// created, found through the run's batch list, in one transaction.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/cli/command.h"
#include "app/cli/json.h"
#include "app/cli/target_choice.h"
#include "app/init_advice.h"
#include "records/batch_undo.h"
#include "records/connection_text.h"
#include "records/open_target.h"
#include "records/operator.h"
#include "records/stop_request.h"
#include "records/target_problem.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kName = "talvenor-import undo";

constexpr std::string_view kDescription =
    "Takes back one import run: removes, in one transaction, the companies,\n"
    "contact persons and positions its batch list CODE (CAR.nnnn) names, their\n"
    "activity rows written by the import and the script rows of its positions.\n"
    "A record that something outside the run still refers to stays, with its\n"
    "membership, and is listed with the reason. The batch list row goes once no\n"
    "membership of it is left.\n";

constexpr std::string_view kExitCodes =
    "Exit codes: 0 done, 64 bad usage, 65 no batch list has that code (the most\n"
    "recent codes are listed), 69 the target cannot be opened, the catalogue\n"
    "entry is not found, or the undo failed part-way (then nothing was changed),\n"
    "130 and 143 the undo was stopped by Ctrl-C (SIGINT) or SIGTERM (everything\n"
    "was rolled back; nothing was changed).";

// One JSON object for an undo that did not happen, when --json was given.
void FailureJson(bool json, std::string_view outcome, std::string_view message) {
  if (!json) return;
  std::string out;
  JsonWriter w(out);
  w.BeginObject().Key("outcome").String(outcome);
  w.Key("message").String(records::HidePasswords(message)).EndObject();
  std::printf("%s\n", out.c_str());
}

// A usage problem found after parsing: told on stderr, and as JSON with --json.
int UsageProblem(bool json, std::string_view problem) {
  FailureJson(json, "usage", problem);
  return UsageError(kName, problem);
}

// Message boxes become lines on stderr.
class StderrOperator final : public records::Operator {
 public:
  void ShowMessage(std::string_view text, std::string_view title, records::MessageIcon) override {
    std::fprintf(stderr, "%.*s: %s%s\n", static_cast<int>(kName.size()), kName.data(),
                 title.empty() ? "" : (std::string(title) + ": ").c_str(),
                 records::HidePasswords(text).c_str());
  }
};

void KeyJson(JsonWriter& json, const records::Value& key) {
  if (key.IsNumber()) {
    json.Number(key.number());
  } else {
    json.String(key.ToText());
  }
}

void KeysJson(JsonWriter& json, std::string_view name, const std::vector<records::Value>& keys) {
  json.Key(name).BeginArray();
  for (const records::Value& key : keys) KeyJson(json, key);
  json.EndArray();
}

std::string DoneJson(const records::UndoReport& r) {
  std::string out;
  JsonWriter json(out);
  json.BeginObject();
  json.Key("outcome").String("done");
  json.Key("dry_run").Bool(r.dry_run);
  json.Key("batch_code").String(r.code);
  json.Key("removed").BeginObject();
  json.Key("companies").Int(r.removed.companies);
  json.Key("contacts").Int(r.removed.contacts);
  json.Key("positions").Int(r.removed.positions);
  json.Key("activity_rows").Int(r.activity_rows_removed);
  json.Key("script_rows").Int(r.script_rows_removed);
  json.Key("memberships").Int(r.memberships_removed);
  json.EndObject();
  json.Key("kept").BeginObject();
  json.Key("companies").Int(r.kept.companies);
  json.Key("contacts").Int(r.kept.contacts);
  json.Key("positions").Int(r.kept.positions);
  json.Key("memberships").Int(r.memberships_kept);
  json.EndObject();
  json.Key("memberships_without_record").Int(r.memberships_without_record);
  json.Key("list_removed").Bool(r.list_removed);
  json.Key("removed_keys").BeginObject();
  KeysJson(json, "companies", r.removed_companies);
  KeysJson(json, "contacts", r.removed_contacts);
  KeysJson(json, "positions", r.removed_positions);
  json.EndObject();
  json.Key("kept_records").BeginArray();
  for (const records::KeptRecord& k : r.kept_records) {
    json.BeginObject();
    json.Key("kind").String(records::KindName(k.kind));
    json.Key("key");
    KeyJson(json, k.key);
    json.Key("reasons").BeginArray();
    for (const std::string& reason : k.reasons) json.String(reason);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  return out + "\n";
}

std::string KeyList(const std::vector<records::Value>& keys) {
  std::string text;
  for (const records::Value& key : keys) text += " " + key.ToText();
  return text.empty() ? " none" : text;
}

void PrintDone(const records::UndoReport& r) {
  const char* verb = r.dry_run ? "would be removed" : "removed";
  std::printf("Batch list:         %s\n", r.code.c_str());
  std::printf("Companies:          %ld %s, %ld kept\n", r.removed.companies, verb,
              r.kept.companies);
  std::printf("Contact persons:    %ld %s, %ld kept\n", r.removed.contacts, verb, r.kept.contacts);
  std::printf("Positions:          %ld %s, %ld kept\n", r.removed.positions, verb,
              r.kept.positions);
  std::printf("Activity rows:      %ld %s\n", r.activity_rows_removed, verb);
  std::printf("Script rows:        %ld %s\n", r.script_rows_removed, verb);
  std::printf("Memberships:        %ld %s, %ld kept\n", r.memberships_removed, verb,
              r.memberships_kept);
  if (r.memberships_without_record > 0) {
    std::printf("  of which %ld named a record that was already gone\n",
                r.memberships_without_record);
  }
  std::printf("Batch list row:     %s\n",
              r.list_removed ? verb : "kept (memberships of it remain)");
  if (r.dry_run) {
    std::printf("Companies %s:%s\n", verb, KeyList(r.removed_companies).c_str());
    std::printf("Contact persons %s:%s\n", verb, KeyList(r.removed_contacts).c_str());
    std::printf("Positions %s:%s\n", verb, KeyList(r.removed_positions).c_str());
  }
  for (const records::KeptRecord& k : r.kept_records) {
    std::string reasons;
    for (const std::string& reason : k.reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    std::printf("Kept %s %s: %s\n", std::string(records::KindName(k.kind)).c_str(),
                k.key.ToText().c_str(), reasons.c_str());
  }
  std::printf("%s\n", r.dry_run ? "Dry run: nothing was changed" : "Undo Complete");
}

struct Options {
  std::string code;
  TargetChoice choice;
  bool dry_run = false;
  bool json = false;
};

int Undo(Options& options, const CLI::Option* target, const CLI::Option* database) {
  std::string& code = options.code;
  TargetChoice& choice = options.choice;
  const bool dry_run = options.dry_run;
  const bool json = options.json;
  if (target->count() == 0 && database->count() == 0) {
    return UsageProblem(json, "give either --target or --database");
  }
  choice.has_database = database->count() > 0;
  if (choice.has_database && choice.database_id.empty()) {
    return UsageProblem(json, "--database needs a Database Id");
  }
  // Codes are stored without surrounding blanks.
  while (!code.empty() && code.back() == ' ') code.pop_back();
  while (!code.empty() && code.front() == ' ') code.erase(code.begin());
  if (code.empty()) return UsageProblem(json, "CODE is empty");

  // Heard from here on: a lock wait and every step of the undo end on Ctrl-C
  // and SIGTERM, and the transaction is rolled back.
  records::CatchStopSignals();
  AppState state;
  StderrOperator op;
  if (!ChooseTarget(state, choice, op)) {
    FailureJson(json, "target not opened",
                "no catalogue entry has the Database Id '" + choice.database_id + "'");
    return kExitUnavailable;
  }
  auto db = records::OpenTarget(state.Address());
  if (!db) {
    // A lock says how long the undo waited; nothing is there to undo in a
    // file that is missing, so no command to create it is suggested.
    const records::Fault fault = records::FaultOf(db.error());
    const std::string why =
        fault == records::Fault::kLocked || fault == records::Fault::kStopped
            ? records::TargetOpenProblem(db.error(), state.Address(), InitAdvice(state.Address()))
            : db.error().description;
    op.ShowMessage("cannot open the target: " + why, "", records::MessageIcon::kNone);
    FailureJson(json, "target not opened", why);
    return records::IsStop(db.error()) ? StopExitCode() : kExitUnavailable;
  }

  const records::UndoResult result = records::UndoBatch(**db, code, dry_run);
  (*db)->Close();
  switch (result.outcome) {
    case records::UndoOutcome::kDone:
      if (json) {
        const std::string text = DoneJson(result.report);
        std::fwrite(text.data(), 1, text.size(), stdout);
      } else {
        PrintDone(result.report);
      }
      return kExitOk;
    case records::UndoOutcome::kUnknownCode: {
      std::string recent;
      for (const std::string& c : result.recent_codes) recent += (recent.empty() ? "" : ", ") + c;
      std::fprintf(
          stderr, "%s: no batch list has the code %s; %s\n", kName.data(), code.c_str(),
          recent.empty() ? "the target holds none" : ("the most recent are " + recent).c_str());
      if (json) {
        std::string out;
        JsonWriter w(out);
        w.BeginObject().Key("outcome").String("unknown code").Key("batch_code").String(code);
        w.Key("recent_codes").BeginArray();
        for (const std::string& c : result.recent_codes) w.String(c);
        w.EndArray().EndObject();
        std::printf("%s\n", out.c_str());
      }
      return kExitDataErr;
    }
    case records::UndoOutcome::kFailed:
      break;
  }
  if (records::IsStop(result.error)) {
    const std::string why =
        "the undo was stopped (interrupted) and rolled back; nothing was changed";
    op.ShowMessage(why, "", records::MessageIcon::kNone);
    FailureJson(json, "stopped", why);
    return StopExitCode();
  }
  std::string why = result.error.description;
  for (const records::ProviderError& p : result.error.providers) why += " " + p.text;
  op.ShowMessage("the undo failed and nothing was changed: " + why, "",
                 records::MessageIcon::kNone);
  FailureJson(json, "failed", why);
  return kExitUnavailable;
}

}  // namespace

Action DefineUndo(CLI::App& app) {
  auto options = std::make_shared<Options>();
  app.description(std::string(kDescription));
  app.footer(std::string(kExitCodes));
  app.add_option("CODE", options->code, "the batch list of the run to take back (CAR.nnnn)")
      ->required();
  CLI::Option* target =
      app.add_option("--target", options->choice.target,
                     "the target database: a file path (a relative path or a bare "
                     "file name is taken from the current folder) or an ODBC "
                     "connection text");
  CLI::Option* database = app.add_option("--database", options->choice.database_id,
                                         "the target of the catalogue entry ID (multi.mdb in the "
                                         "catalogue folder)");
  target->excludes(database);
  app.add_option("--folder", options->choice.folder,
                 "the catalogue folder: where multi.mdb and the bare file names of "
                 "catalogue entries are looked for");
  app.add_flag("--dry-run", options->dry_run,
               "show what would be removed and kept; change nothing");
  app.add_flag("--json", options->json, "print the outcome as one JSON object");
  return [options, target, database] { return Undo(*options, target, database); };
}

}  // namespace talvenor::app::cli
