// talvenor-import catalogue: lists and edits the catalogue of target databases
// (multi.mdb). The window only reads the catalogue; this is where it is written.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/cli/command.h"
#include "records/sql_quote.h"
#include "records/sqlite_database.h"
#include "records/sqlite_rows.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: talvenor-import catalogue list [--folder DIR]\n"
    "       talvenor-import catalogue add ID UNC [SYNC] [--folder DIR]\n"
    "       talvenor-import catalogue remove ID [--folder DIR]\n"
    "Lists, adds or removes entries of the catalogue of target databases, the file\n"
    "multi.mdb in the program's folder (or in DIR). The file is created when it is\n"
    "missing.\n"
    "  list    prints one entry a line: Database Id, Database, Sync Path, separated\n"
    "          by tabs, ordered by Database Id; connection texts are shown as\n"
    "          \"ODBC Database (Logon Hidden)\", as the window shows them\n"
    "  add     adds the entry ID with the database file path or connection text UNC\n"
    "          (a bare file name means a file in the program's folder; see 'encode'\n"
    "          for connection texts) and the synchronisation path SYNC\n"
    "  remove  removes the entry ID\n"
    "\n"
    "Options:\n"
    "      --folder DIR  the folder that holds multi.mdb\n"
    "  -h, --help        show this help\n";

// Exit codes beyond usage: an entry that is there or missing against the
// request, and a catalogue that cannot be opened or written.
constexpr int kExitEntry = kExitDataErr;

// Created with NOCASE so that look-ups and the listing's order ignore letter
// case, as the catalogue always has.
constexpr std::string_view kCreateTable =
    "CREATE TABLE IF NOT EXISTS [Database Records] ("
    "[Database Id] VARCHAR(255) COLLATE NOCASE NOT NULL PRIMARY KEY, "
    "[Database UNC] VARCHAR(255), "
    "[Syncronization UNC] VARCHAR(255))";

void Error(const std::string& text) {
  std::fprintf(stderr, "talvenor-import catalogue: %s\n", text.c_str());
}

std::string Describe(const records::DbError& error) {
  return error.description + " (" + std::to_string(error.number) + ")";
}

struct Request {
  std::string action;
  std::vector<std::string> operands;
  std::string folder;
};

// Opens the catalogue for writing, creating the file and the table when they
// are missing.
records::DbResult<std::unique_ptr<records::SqliteDatabase>> OpenForWriting(
    const std::string& path) {
  auto db = records::SqliteDatabase::Open(path, records::SqliteOpen::kCreate);
  if (!db) return db;
  if (auto created = (*db)->Execute(kCreateTable); !created) {
    return std::unexpected(created.error());
  }
  if (auto flushed = (*db)->Flush(); !flushed) return std::unexpected(flushed.error());
  return db;
}

// Whether the catalogue holds `id`; an error when it cannot be read.
records::DbResult<bool> Holds(const std::string& path, std::string_view id) {
  auto found = records::ReadAllRows(path, LookupSql(id));
  if (!found) return std::unexpected(found.error());
  return !found->rows.empty();
}

int List(const std::string& path) {
  auto rows = ListCatalogue(path);
  if (!rows) {
    Error("cannot read '" + path + "': " + Describe(rows.error()));
    return kExitUnavailable;
  }
  std::printf("Database Id\tDatabase\tSync Path\n");
  for (const CatalogueRow& row : *rows) {
    std::printf("%s\t%s\t%s\n", row.database_id.c_str(), DisplayedDatabase(row.database).c_str(),
                row.sync_path.c_str());
  }
  return kExitOk;
}

int Add(const std::string& path, records::Database& db, const std::vector<std::string>& operands) {
  const std::string& id = operands[0];
  auto held = Holds(path, id);
  if (!held) {
    Error("cannot read '" + path + "': " + Describe(held.error()));
    return kExitUnavailable;
  }
  if (*held) {
    Error("the catalogue already holds '" + id + "'");
    return kExitEntry;
  }
  const std::string sync = operands.size() > 2 ? operands[2] : std::string();
  const std::string insert =
      "INSERT INTO [Database Records] ([Database Id],[Database UNC],[Syncronization UNC]) "
      "VALUES ('" +
      records::SqlQuote(id) + "','" + records::SqlQuote(operands[1]) + "','" +
      records::SqlQuote(sync) + "')";
  if (auto done = db.Execute(insert); !done) {
    Error("cannot add '" + id + "': " + Describe(done.error()));
    return done.error().number == records::kDuplicateValue ? kExitEntry : kExitCantCreate;
  }
  if (auto flushed = db.Flush(); !flushed) {
    Error("cannot write '" + path + "': " + Describe(flushed.error()));
    return kExitCantCreate;
  }
  return kExitOk;
}

int Remove(const std::string& path, records::Database& db, const std::string& id) {
  auto held = Holds(path, id);
  if (!held) {
    Error("cannot read '" + path + "': " + Describe(held.error()));
    return kExitUnavailable;
  }
  if (!*held) {
    Error("the catalogue holds no entry '" + id + "'");
    return kExitEntry;
  }
  const std::string remove =
      "DELETE FROM [Database Records] WHERE [Database Id] = '" + records::SqlQuote(id) + "'";
  if (auto done = db.Execute(remove); !done) {
    Error("cannot remove '" + id + "': " + Describe(done.error()));
    return kExitCantCreate;
  }
  if (auto flushed = db.Flush(); !flushed) {
    Error("cannot write '" + path + "': " + Describe(flushed.error()));
    return kExitCantCreate;
  }
  return kExitOk;
}

// Splits the arguments into the action, its operands and --folder. An empty
// action means bad usage.
Request Parse(const std::vector<std::string>& args) {
  Request request;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg == "--folder") {
      if (i + 1 == args.size()) return {};
      request.folder = args[++i];
    } else if (!options_done && arg.starts_with("--folder=")) {
      request.folder = arg.substr(9);
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return {};
    } else if (request.action.empty()) {
      request.action = arg;
    } else {
      request.operands.push_back(arg);
    }
  }
  const size_t n = request.operands.size();
  const bool fits = (request.action == "list" && n == 0) ||
                    (request.action == "add" && (n == 2 || n == 3)) ||
                    (request.action == "remove" && n == 1);
  if (!fits) request.action.clear();
  return request;
}

int Catalogue(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage.data(), stdout);
      return kExitOk;
    }
  }
  Request request = Parse(args);
  if (request.action.empty()) {
    std::fputs(kUsage.data(), stderr);
    return kExitUsage;
  }
  if (request.folder.empty()) request.folder = ProgramFolder();
  // "DIR/" and "DIR" name the same folder.
  while (request.folder.size() > 1 && request.folder.back() == '/') request.folder.pop_back();
  const std::string path = CataloguePath(request.folder == "/" ? std::string() : request.folder);

  auto db = OpenForWriting(path);
  if (!db) {
    Error("cannot open '" + path + "': " + Describe(db.error()));
    return kExitCantCreate;
  }
  int status = kExitOk;
  if (request.action == "list") {
    // Written rows are committed; the listing reads on a connection of its own.
    status = List(path);
  } else if (request.action == "add") {
    status = Add(path, **db, request.operands);
  } else {
    status = Remove(path, **db, request.operands[0]);
  }
  (*db)->Close();
  return status;
}

const Registration kCatalogue{
    "catalogue", "list, add or remove entries of the catalogue (multi.mdb)", Catalogue};

}  // namespace
}  // namespace talvenor::app::cli
