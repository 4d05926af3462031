// talvenor-import init TARGET: creates the target schema in a new or empty
// SQLite file, or through ODBC in a PostgreSQL database; with --sql it prints
// the schema script of a dialect instead. An existing table is never altered.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "records/open_target.h"
#include "records/sqlite_database.h"
#include "records/target_schema.h"
#include "text/ascii.h"

namespace talvenor::app::cli {
namespace {

using records::SqlDialect;

constexpr std::string_view kUsage =
    "Usage: talvenor-import init TARGET\n"
    "       talvenor-import init --sql sqlite|postgres|sqlserver\n"
    "Creates the tables the import writes, with their look-up indexes. TARGET is\n"
    "the path of a new or empty SQLite file, or an ODBC connection text for a\n"
    "PostgreSQL database (a text holding \"ODBC\" or \"Driver=\"). Tables that are\n"
    "already there are named and left exactly as they are.\n"
    "\n"
    "Options:\n"
    "      --sql DIALECT  print the schema script for sqlite, postgres or sqlserver\n"
    "                     instead of creating anything\n"
    "  -h, --help         show this help\n";

std::optional<SqlDialect> DialectNamed(std::string_view name) {
  if (text::EqualsIgnoreCase(name, "sqlite")) return SqlDialect::kSqlite;
  if (text::EqualsIgnoreCase(name, "postgres") || text::EqualsIgnoreCase(name, "postgresql")) {
    return SqlDialect::kPostgres;
  }
  if (text::EqualsIgnoreCase(name, "sqlserver")) return SqlDialect::kSqlServer;
  return std::nullopt;
}

int Usage(std::string_view problem) {
  std::fprintf(stderr, "talvenor-import init: %.*s\n%.*s", int(problem.size()), problem.data(),
               int(kUsage.size()), kUsage.data());
  return kExitUsage;
}

bool IsOdbcText(std::string_view target) {
  return text::FindIgnoreCase(target, "ODBC") != std::string_view::npos ||
         text::FindIgnoreCase(target, "Driver=") != std::string_view::npos;
}

void PrintError(std::string_view what, const records::DbError& error) {
  std::fprintf(stderr, "talvenor-import init: %.*s: %s (%d)\n", int(what.size()), what.data(),
               error.description.c_str(), error.number);
  for (const records::ProviderError& p : error.providers) {
    std::fprintf(stderr, "  %s\n", p.text.c_str());
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

int Init(const std::vector<std::string>& args) {
  std::optional<std::string> target;
  std::optional<SqlDialect> script;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return kExitOk;
    }
    if (a == "--sql" || a.starts_with("--sql=")) {
      std::string name;
      if (a == "--sql") {
        if (i + 1 >= args.size()) return Usage("--sql needs a dialect");
        name = args[++i];
      } else {
        name = a.substr(6);
      }
      script = DialectNamed(name);
      if (!script) return Usage("unknown dialect '" + name + "'");
      continue;
    }
    if (a.starts_with("-") && a.size() > 1) return Usage("unknown option '" + a + "'");
    if (target) return Usage("only one TARGET may be given");
    target = a;
  }
  if (script) {
    if (target) return Usage("--sql prints the script and takes no TARGET");
    for (const std::string& statement : records::SchemaStatements(*script)) {
      std::printf("%s;\n\n", statement.c_str());
    }
    return kExitOk;
  }
  if (!target || target->empty()) return Usage("a TARGET is needed");

  const bool odbc = IsOdbcText(*target);
  // A connection text may hold a password: it is never echoed.
  const std::string shown = odbc ? std::string("the ODBC target") : "'" + *target + "'";
  std::unique_ptr<records::Database> db;
  if (odbc) {
    auto opened = records::OpenTarget(*target, /*is_odbc=*/true);
    if (!opened) {
      PrintError("cannot open " + shown, opened.error());
      return kExitUnavailable;
    }
    db = std::move(*opened);
  } else {
    auto opened = records::SqliteDatabase::Open(*target, records::SqliteOpen::kCreate);
    if (!opened) {
      PrintError("cannot open or create " + shown, opened.error());
      return kExitUnavailable;
    }
    db = std::move(*opened);
  }
  auto existing =
      records::CreateTargetSchema(*db, odbc ? SqlDialect::kPostgres : SqlDialect::kSqlite);
  db->Close();
  if (!existing) {
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

const Registration kInit{"init", "create the target tables in a new database", Init};

}  // namespace
}  // namespace talvenor::app::cli
