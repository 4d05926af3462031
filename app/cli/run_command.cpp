// talvenor-import run FILE --target TEXT: the import run without a window. The
// progress list goes to stdout, message boxes to stderr, and a progress bar to
// stderr while it is a terminal.

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_folder.h"
#include "app/app_state.h"
#include "app/catalogue.h"
#include "app/cli/command.h"
#include "app/cli/progress_bar.h"
#include "app/cli/rejects_file.h"
#include "app/cli/run_summary.h"
#include "app/cli/target_choice.h"
#include "app/do_path.h"
#include "app/init_advice.h"
#include "import/import_run.h"
#include "records/clock.h"
#include "records/connection_text.h"
#include "records/open_target.h"
#include "records/operator.h"
#include "records/stop_request.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: talvenor-import run FILE --target TEXT [OPTIONS]\n"
    "       talvenor-import run FILE --database ID [OPTIONS]\n";

constexpr std::string_view kDescription =
    "Imports an export file into a target database: every data line's company,\n"
    "contact persons and position are found or created, and every record created\n"
    "joins the run's batch list. The progress lines are written to stdout.\n"
    "\n"
    "FILE is the export file, or - for standard input. TEXT is an ODBC connection\n"
    "text (it begins with ODBC; or holds a DSN=, FILEDSN= or DRIVER= setting, plain\n"
    "or in the catalogue's encoded forms) or else a database file path, taken from\n"
    "the current folder when it is relative.\n";

constexpr std::string_view kExitCodes =
    "Exit codes: 0 the run completed (rejected lines are counted in the summary),\n"
    "64 bad usage, 65 the file is not an export file (nothing was written) or lines\n"
    "were rejected and --strict was given, 66 the export\n"
    "file cannot be read, 69 the target cannot be opened, its batch list not\n"
    "created, the catalogue entry not found, or the connection to the target was\n"
    "lost part-way, 73 a rejects file cannot be written, 74 the target could store\n"
    "nothing more (disk full, I/O error, read-only) or stdout cannot be written, 75\n"
    "the target stayed locked by another program, 130 and 143 the run was stopped\n"
    "by Ctrl-C (SIGINT) or SIGTERM: the line in hand is committed and the summary\n"
    "printed (also while waiting for a lock); a second Ctrl-C ends the program at\n"
    "once (the target still holds whole lines only).";

constexpr std::string_view kName = "talvenor-import run";

// The largest page cache --cache-mib takes: 64 GiB. A larger number is a
// typing slip rather than a wish.
constexpr int kMaxCacheMib = 65536;

// Reads the number of --cache-mib: decimal digits only, 1 to kMaxCacheMib.
bool ParseCacheMib(std::string_view text, int& mib) {
  int n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
      text.front() < '0' || text.front() > '9' || n < 1 || n > kMaxCacheMib) {
    return false;
  }
  mib = n;
  return true;
}

struct Options {
  std::string file;
  std::string target;
  bool has_target = false;
  std::string database_id;
  bool has_database = false;
  std::string folder;
  std::string rejects;
  bool strict = false;
  bool force = false;
  bool json = false;
  bool quiet = false;
  bool dry_run = false;
  int cache_mib = 0;  // 0: the engine's default
  size_t max_line_bytes = import::kDefaultMaxLineBytes;
};

// Shows the run's progress on a terminal and keeps the rejected lines. Both
// the progress lines and the message boxes first clear the bar, so the bar
// never mixes with other text.
class CliProgress final : public import::ImportProgress, public records::Operator {
 public:
  CliProgress(const Options& options, long long file_size)
      : options_(options),
        bar_(file_size, !options.quiet && isatty(STDERR_FILENO) == 1),
        rejects_(options.rejects) {}

  ~CliProgress() override {
    ShowPending();
    bar_.Clear();
  }

  bool OpenRejects() { return rejects_.Open(); }
  // Closes the rejects files; false when something could not be written.
  bool CloseRejects() { return rejects_.Close(); }
  std::string ReasonsPath() const { return rejects_.ReasonsPath(); }

  // ImportProgress
  void ClearList() override {}
  void AddLine(std::string_view text) override {
    // The data lines are over: messages no rejected line explained are shown.
    if (in_lines_) {
      in_lines_ = false;
      ShowPending();
    }
    if (options_.quiet) return;
    bar_.Clear();
    std::FILE* out = options_.json ? stderr : stdout;
    const std::string shown = records::HidePasswords(text);
    std::fprintf(out, "%s\n", shown.c_str());
    std::fflush(out);
  }
  void SetCaption(std::string_view caption) override {
    constexpr std::string_view kImporting = "Importing Row (";
    if (!caption.starts_with(kImporting)) return;
    in_lines_ = true;
    // Every line before this one has its fate: a message still held was
    // not about a rejected line, and is shown now, near where it arose.
    const long number = std::atol(std::string(caption.substr(kImporting.size())).c_str());
    if (bar_.lines() >= number - 1) ShowPending();
  }
  void PumpEvents() override {}
  void SetBusy(bool) override {}
  bool StopRequested() override { return records::StopRequested(); }
  void LineFinished(const import::LineOutcome& outcome) override {
    bar_.Count(outcome.raw.size());
    if (!outcome.all_stored()) {
      rejects_.KeepReject(outcome);
      TellReject(outcome);
    }
    if (outcome.warnings != nullptr) {
      for (const std::string& warning : *outcome.warnings) KeepWarning(outcome, warning);
    }
    bar_.Tick();
  }

  // The warnings of the run, the first kMaxJsonWarnings of them, and how many
  // there were in all.
  const std::vector<std::string>& warnings() const { return warnings_; }
  long warning_count() const { return warning_count_; }

  void RunEnding(const import::ImportSummary&) override {
    in_lines_ = false;
    ShowPending();
  }

  // Operator: a message box becomes a line on stderr. While the data lines
  // are read, a message is held until its line's fate is known: when the line
  // is rejected, the line's own report (with its number) says the same, once.
  void ShowMessage(std::string_view text, std::string_view title,
                   records::MessageIcon icon) override {
    if (in_lines_) {
      pending_.push_back({std::string(text), std::string(title)});
      return;
    }
    Print(text, title, icon);
  }

 private:
  struct Held {
    std::string text, title;
  };

  // Every message goes through here: no password of a connection text is
  // ever shown, whatever error text carried it.
  void Print(std::string_view given, std::string_view title, records::MessageIcon) {
    bar_.Clear();
    const std::string hidden = records::HidePasswords(given);
    const std::string_view text = hidden;
    if (title.empty()) {
      std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(kName.size()), kName.data(),
                   static_cast<int>(text.size()), text.data());
    } else {
      std::fprintf(stderr, "%.*s: %.*s: %.*s\n", static_cast<int>(kName.size()), kName.data(),
                   static_cast<int>(title.size()), title.data(), static_cast<int>(text.size()),
                   text.data());
    }
  }

  void ShowPending() {
    std::vector<Held> held;
    held.swap(pending_);
    for (const Held& h : held) Print(h.text, h.title, records::MessageIcon::kNone);
  }

  // One line on stderr for a rejected data line: its numbers and every reason,
  // and the held messages those reasons already say are dropped.
  void TellReject(const import::LineOutcome& outcome) {
    std::string why = "line " + std::to_string(outcome.number) + " (file line " +
                      std::to_string(outcome.physical_number) + ") rejected: ";
    for (size_t i = 0; i < outcome.problems->size(); ++i) {
      if (i > 0) why += "; ";
      why += (*outcome.problems)[i];
    }
    std::erase_if(pending_, [&](const Held& h) {
      for (const std::string& problem : *outcome.problems) {
        if (problem.find(h.text) != std::string::npos) return true;
      }
      return false;
    });
    Print(why, "", records::MessageIcon::kNone);
  }

  // A warning is shown once, on stderr, kept for the JSON summary and written
  // to the reasons file beside the rejects (the line itself was stored).
  void KeepWarning(const import::LineOutcome& outcome, const std::string& warning) {
    const std::string text = "line " + std::to_string(outcome.number) + " (file line " +
                             std::to_string(outcome.physical_number) + "): " + warning;
    Print("warning: " + text, "", records::MessageIcon::kNone);
    ++warning_count_;
    if (warnings_.size() < kMaxJsonWarnings) warnings_.push_back(text);
    rejects_.KeepWarning(text);
  }

  const Options& options_;
  ProgressBar bar_;
  RejectsFile rejects_;
  bool in_lines_ = false;      // between the first data line and the summary
  std::vector<Held> pending_;  // messages held until their line's fate is known
  std::vector<std::string> warnings_;
  long warning_count_ = 0;
};

// Checks what the parser cannot: exactly one of --target and --database,
// and no empty texts. The problem, or an empty text when the arguments are
// right.
std::string CheckOptions(const Options& options) {
  if (options.has_target == options.has_database) return "give either --target or --database";
  if (options.has_target && options.target.empty()) {
    return "--target needs a database file path or connection text";
  }
  if (options.has_database && options.database_id.empty()) return "--database needs a Database Id";
  if (options.file.empty()) return "the export FILE is an empty text";
  return {};
}

int Run(const Options& options) {
  if (const std::string problem = CheckOptions(options); !problem.empty()) {
    return Failed(options.json, UsageError(kName, problem), "usage", problem);
  }

  struct stat st {};
  const std::string stat_path = options.file == "-" ? "/dev/stdin" : options.file;
  const long long file_size =
      ::stat(stat_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
  CliProgress progress(options, file_size);

  AppState state;
  const TargetChoice choice{options.target, options.database_id, options.has_database,
                            options.folder};
  // Heard from here on: a lock wait, the catalogue and the line loop all end
  // cleanly on Ctrl-C and SIGTERM.
  records::CatchStopSignals();
  if (!ChooseTarget(state, choice, progress)) {
    return Failed(options.json, kExitUnavailable, "target not opened",
                  "the catalogue entry was not found");
  }
  if (auto clash = RejectsClash(options.rejects, options.file, state); !clash.empty()) {
    return Failed(options.json, UsageError(kName, clash), "usage", clash);
  }
  if (!progress.OpenRejects()) {
    const std::string why = "cannot write the rejects file '" + options.rejects + "' or '" +
                            progress.ReasonsPath() + "'";
    std::fprintf(stderr, "%s: %s\n", kName.data(), records::HidePasswords(why).c_str());
    progress.CloseRejects();
    return Failed(options.json, kExitCantCreate, "rejects file not written", why);
  }

  records::SystemClock clock;
  import::ImportServices services{progress, clock, state.clock_cache, progress};
  // "-" is standard input, read through its descriptor's name.
  const std::string export_path = options.file == "-" ? "/dev/stdin" : options.file;
  import::ImportRequest request{export_path, state.Address()};
  request.init_advice = InitAdvice(request.target);
  request.dry_run = options.dry_run;
  request.force = options.force;
  request.max_line_bytes = options.max_line_bytes;
  const records::TargetSettings settings{.cache_mib = options.cache_mib, .commit = {}};
  const import::ImportSummary summary =
      import::RunImport(request, services, [&settings](const records::TargetAddress& target) {
        return records::OpenTargetWith(target, settings);
      });
  const bool rejects_written = progress.CloseRejects();

  const bool stopped = import::StoppedEarly(summary.outcome);
  // A stop after the target was opened; the opening failures were already
  // shown as they happened.
  const bool opened = summary.outcome == import::RunOutcome::kCompleted ||
                      summary.outcome == import::RunOutcome::kReadFailed ||
                      (stopped && !summary.BatchCode.empty());
  if (stopped && !summary.BatchCode.empty() &&
      (options.quiet || options.json || isatty(STDOUT_FILENO) == 0)) {
    // The list line went nowhere, or somewhere nobody watches: the reason
    // also goes where errors are looked for.
    progress.ShowMessage(summary.message, "", records::MessageIcon::kNone);
  }
  const std::string reasons_path = progress.ReasonsPath();
  const SummaryFacts facts{options.dry_run, options.rejects, reasons_path, progress.warning_count(),
                           progress.warnings()};
  if (options.json) {
    const std::string json = SummaryJson(summary, facts);
    std::fwrite(json.data(), 1, json.size(), stdout);
  } else if (opened) {
    PrintSummary(summary, facts);
  }
  std::fflush(stdout);

  switch (summary.outcome) {
    case import::RunOutcome::kFileRefused:
      std::fprintf(stderr, "%s: nothing was imported; --force imports the file anyway\n",
                   kName.data());
      return kExitDataErr;
    case import::RunOutcome::kFileUnreadable:
    case import::RunOutcome::kReadFailed:
      return kExitNoInput;
    case import::RunOutcome::kTargetNotOpened:
    case import::RunOutcome::kBatchNotCreated:
      // A stop asked for while the target was opened (a lock wait) ends the
      // run as any stop does.
      return records::StopRequested() ? StopExitCode() : kExitUnavailable;
    case import::RunOutcome::kTargetLost:
      return kExitUnavailable;
    case import::RunOutcome::kTargetFailed:
      return summary.fault == records::Fault::kLocked ? kExitTempFail : kExitIoErr;
    case import::RunOutcome::kStopped:
      return StopExitCode();
    case import::RunOutcome::kCompleted:
      break;
  }
  if (!rejects_written) {
    std::fprintf(stderr, "%s: the rejects file '%s' could not be written in full\n", kName.data(),
                 options.rejects.c_str());
    return kExitCantCreate;
  }
  if (options.strict && summary.counts.lines_rejected > 0) {
    std::fprintf(stderr, "%s: %ld lines were rejected\n", kName.data(),
                 summary.counts.lines_rejected);
    return kExitDataErr;
  }
  return kExitOk;
}

}  // namespace

Action DefineRun(CLI::App& app) {
  auto options = std::make_shared<Options>();
  SetUsage(app, std::string(kUsage));
  app.description(std::string(kDescription));
  app.footer(std::string(kExitCodes));
  app.add_option("FILE", options->file, "the export file; - reads standard input")
      ->required()
      ->type_name("");
  CLI::Option* target =
      app.add_option("--target", options->target, "the target database")->check(NotAnOption());
  CLI::Option* database =
      app.add_option("--database", options->database_id,
                     "the target of the catalogue entry ID (multi.mdb in the catalogue folder)")
          ->type_name("ID")
          ->check(NotAnOption());
  app.add_option("--folder", options->folder,
                 "the catalogue folder: where multi.mdb and the bare file names of catalogue "
                 "entries are looked for")
      ->type_name("DIR")
      ->check(NotAnOption());
  CLI::Option* rejects =
      app.add_option("--rejects", options->rejects,
                     "write every data line whose rows could not all be stored to FILE, unchanged, "
                     "and its line number and reason to FILE.why (a line longer than "
                     "--max-line-kib only to FILE.why, with its first bytes)")
          ->type_name("FILE")
          ->check(NotAnOption());
  app.add_flag("--strict", options->strict, "exit with 65 when any line was rejected");
  app.add_flag("--force", options->force,
               "import a file that does not look like an export file (binary, compressed, "
               "a document, other columns)");
  app.add_flag("--json", options->json,
               "print the summary as one JSON object on stdout (the progress lines then go "
               "to stderr)");
  app.add_flag("--dry-run", options->dry_run,
               "do the whole run in one transaction and roll it back: the same progress, "
               "summary and exit code, nothing written");
  app.add_flag("-q,--quiet", options->quiet, "no progress lines and no progress bar");
  auto cache_mib = std::make_shared<std::string>();
  CLI::Option* cache = app.add_option("--cache-mib", *cache_mib,
                                      "let a database file's page cache grow to N MiB (default "
                                      "256; pages are held only once used)")
                           ->type_name("N")
                           ->check(NotAnOption());
  auto max_line_kib = std::make_shared<std::string>();
  CLI::Option* max_line = AddMaxLineKib(app, *max_line_kib);
  return [options, target, database, rejects, cache, cache_mib, max_line, max_line_kib] {
    options->has_target = target->count() > 0;
    options->has_database = database->count() > 0;
    if (rejects->count() > 0 && options->rejects.empty()) {
      return UsageError(kName, "--rejects needs a file name");
    }
    if (cache->count() > 0 && !ParseCacheMib(*cache_mib, options->cache_mib)) {
      return UsageError(kName, "--cache-mib needs a whole number of MiB from 1 to " +
                                   std::to_string(kMaxCacheMib) + ", not '" + *cache_mib + "'");
    }
    if (max_line->count() > 0) {
      const std::optional<size_t> bytes = MaxLineBytes(*max_line_kib);
      if (!bytes) {
        return UsageError(kName, "--max-line-kib needs a whole number of KiB from 1 to " +
                                     std::to_string(kMostMaxLineKib) + ", not '" + *max_line_kib +
                                     "'");
      }
      options->max_line_bytes = *bytes;
    }
    return Run(*options);
  };
}

}  // namespace talvenor::app::cli
