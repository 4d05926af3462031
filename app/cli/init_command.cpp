// talvenor-import init TARGET: creates the target schema in a new or empty
// SQLite file, or through ODBC in a PostgreSQL database; with --sql it prints
// the schema script of a dialect instead. An existing table is never altered.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "records/connection_text.h"
#include "records/open_target.h"
#include "records/stop_request.h"
#include "records/target_schema.h"
#include "text/ascii.h"

namespace talvenor::app::cli {
namespace {

using records::SqlDialect;

constexpr std::string_view kName = "talvenor-import init";

constexpr std::string_view kUsage =
    "Usage: talvenor-import init TARGET\n"
    "       talvenor-import init --sql sqlite|postgres|sqlserver\n";

constexpr std::string_view kDescription =
    "Creates the tables the import writes, with their look-up indexes. TARGET is\n"
    "the path of a new or empty SQLite file (taken from the current folder when it\n"
    "is relative), or an ODBC connection text for a PostgreSQL database (it begins\n"
    "with ODBC; or holds a DSN=, FILEDSN= or DRIVER= setting). Tables that are\n"
    "already there are named and left exactly as they are.\n";

std::optional<SqlDialect> DialectNamed(std::string_view name) {
  if (text::EqualsIgnoreCase(name, "sqlite")) return SqlDialect::kSqlite;
  if (text::EqualsIgnoreCase(name, "postgres") || text::EqualsIgnoreCase(name, "postgresql")) {
    return SqlDialect::kPostgres;
  }
  if (text::EqualsIgnoreCase(name, "sqlserver")) return SqlDialect::kSqlServer;
  return std::nullopt;
}

void PrintError(std::string_view what, const records::DbError& error) {
  std::fprintf(stderr, "talvenor-import init: %.*s: %s (%d)\n", int(what.size()), what.data(),
               records::HidePasswords(error.description).c_str(), error.number);
  for (const records::ProviderError& p : error.providers) {
    std::fprintf(stderr, "  %s\n", records::HidePasswords(p.text).c_str());
  }
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) {
    if (!out.empty()) out += ", ";
    out += n;
  }
  return out;
}

int Init(const std::optional<std::string>& target, const std::optional<std::string>& sql) {
  std::optional<SqlDialect> script;
  if (sql) {
    script = DialectNamed(*sql);
    if (!script) return UsageError(kName, "unknown dialect '" + *sql + "'");
  }
  if (script) {
    if (target) return UsageError(kName, "--sql prints the script and takes no TARGET");
    for (const std::string& statement : records::SchemaStatements(*script)) {
      std::printf("%s;\n\n", statement.c_str());
    }
    return kExitOk;
  }
  if (!target || target->empty()) return UsageError(kName, "a TARGET is needed");

  const records::TargetAddress address = records::AddressOf(*target);
  const bool odbc = address.kind == records::TargetKind::kOdbc;
  // A connection text may hold a password: it is never echoed.
  const std::string shown =
      odbc ? std::string("the ODBC target") : "'" + records::HidePasswords(*target) + "'";
  // Heard from here on: a lock wait and the work between tables end on Ctrl-C
  // and SIGTERM, and what was begun is rolled back.
  records::CatchStopSignals();
  auto opened = records::CreateTarget(address);
  if (!opened) {
    PrintError((odbc ? "cannot open " : "cannot open or create ") + shown, opened.error());
    return records::IsStop(opened.error()) ? StopExitCode() : kExitUnavailable;
  }
  std::unique_ptr<records::Database> db = std::move(*opened);
  auto existing =
      records::CreateTargetSchema(*db, odbc ? SqlDialect::kPostgres : SqlDialect::kSqlite);
  // Tables are made in one transaction where the engine can: a failure or a
  // stop leaves none of them half made.
  if (!existing) (void)db->Rollback();
  db->Close();
  if (!existing) {
    if (records::IsStop(existing.error())) {
      std::fprintf(stderr, "%.*s: stopped (interrupted); nothing was created in %s\n",
                   int(kName.size()), kName.data(), shown.c_str());
      return StopExitCode();
    }
    PrintError("cannot create the tables in " + shown, existing.error());
    return kExitUnavailable;
  }
  std::vector<std::string> created;
  for (const std::string& table : records::TargetTableNames()) {
    bool was_there = false;
    for (const std::string& e : *existing) was_there = was_there || e == table;
    if (!was_there) created.push_back(table);
  }
  if (!existing->empty()) {
    std::printf("Already there, left unchanged: %s\n", JoinNames(*existing).c_str());
  }
  if (created.empty()) {
    std::printf("Every table of the target schema is already in %s; nothing was changed.\n",
                shown.c_str());
  } else {
    std::printf("Created in %s: %s\n", shown.c_str(), JoinNames(created).c_str());
  }
  return kExitOk;
}

}  // namespace

Action DefineInit(CLI::App& app) {
  auto target = std::make_shared<std::string>();
  auto sql = std::make_shared<std::string>();
  SetUsage(app, std::string(kUsage));
  app.description(std::string(kDescription));
  CLI::Option* target_option =
      app.add_option("TARGET", *target, "the database file or ODBC connection text")->type_name("");
  CLI::Option* sql_option =
      app.add_option("--sql", *sql,
                     "print the schema script for sqlite, postgres or sqlserver instead of "
                     "creating anything")
          ->type_name("DIALECT")
          ->check(NotAnOption());
  app.footer(
      "Exit codes: 0 done, 64 bad usage, 69 the target cannot be opened or written,\n"
      "130 and 143 stopped by Ctrl-C (SIGINT) or SIGTERM (nothing was created in a\n"
      "database file).");
  return [=] {
    auto given = [](const CLI::Option* option, const std::string& value) {
      return option->count() > 0 ? std::optional(value) : std::nullopt;
    };
    return Init(given(target_option, *target), given(sql_option, *sql));
  };
}

}  // namespace talvenor::app::cli
