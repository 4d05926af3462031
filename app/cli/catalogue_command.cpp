// talvenor-import catalogue: lists and edits the catalogue of target databases
// (multi.mdb). The window only reads the catalogue; this is where it is written.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_folder.h"
#include "app/catalogue.h"
#include "app/cli/command.h"
#include "app/decode_library.h"
#include "app/do_path.h"
#include "records/connection_text.h"
#include "records/open_target.h"
#include "records/read_rows.h"
#include "records/sql_quote.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: talvenor-import catalogue list [--ids] [--folder DIR]\n"
    "       talvenor-import catalogue add ID UNC [SYNC] [--encode] [--folder DIR]\n"
    "       talvenor-import catalogue remove ID [--folder DIR]\n";

constexpr std::string_view kDescription =
    "Lists, adds or removes entries of the catalogue of target databases, the file\n"
    "multi.mdb in the catalogue folder (see talvenor-import --help) or in DIR.\n"
    "'add' creates the file when it is missing; 'list' only reads it. An entry's\n"
    "UNC is an ODBC connection text (it begins with ODBC; or holds a DSN=, FILEDSN=\n"
    "or DRIVER= setting; see 'encode' for its encoded forms) or a database file\n"
    "path; a bare file name there means a file in the catalogue folder, as the\n"
    "window reads it. The list shows connection texts as\n"
    "\"ODBC Database (Logon Hidden)\", as the window does.\n"
    "\n"
    "A catalogue file made here can be read by its owner only. A password kept in\n"
    "plain text is warned of: 'add --encode' stores the connection text encoded,\n"
    "and it is decoded when the entry is used.\n";

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

// Messages may quote an id, a path or an entry's text: no password in them is
// shown.
void Error(const std::string& text) {
  std::fprintf(stderr, "talvenor-import catalogue: %s\n", records::HidePasswords(text).c_str());
}

std::string Describe(const records::DbError& error) {
  return error.description + " (" + std::to_string(error.number) + ")";
}

void Warn(const std::string& text) {
  std::fprintf(stderr, "talvenor-import catalogue: warning: %s\n",
               records::HidePasswords(text).c_str());
}

struct Request {
  std::string action;  // list, add or remove
  std::vector<std::string> operands;
  std::string folder;
  bool encode = false;  // add: store the connection text encoded
  bool ids = false;     // list: the ids only, and no catalogue made
};

// Opens the catalogue for writing, creating the file and the table when they
// are missing. A file made here can be read by its owner only, as the saved
// selection: it may hold logons. A file that exists keeps its mode, which may
// be shared on purpose.
records::DbResult<std::unique_ptr<records::Database>> OpenForWriting(const std::string& path) {
  struct stat before {};
  const bool existed = ::stat(path.c_str(), &before) == 0;
  // A catalogue is small and seldom written: with a rollback journal it can
  // be read where its folder cannot be written (a write-ahead log would need
  // a -shm file beside it).
  records::TargetSettings settings;
  settings.rollback_journal = true;
  auto db = records::CreateTarget({path, records::TargetKind::kDatabaseFile}, settings);
  // Made here, even when setting it up failed after: owner only.
  if (!existed) ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
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

// Warns once when the catalogue can be read by other accounts and one of its
// entries holds a password in plain text.
void WarnOfPlainPasswords(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IROTH)) == 0) return;
  auto rows = ListCatalogue(path);
  if (!rows) return;
  for (const CatalogueRow& row : *rows) {
    if (!records::HoldsPassword(row.database_unc) && !records::HoldsPassword(row.sync_unc)) {
      continue;
    }
    Warn("'" + path + "' can be read by other accounts and its entry '" + row.database_id +
         "' holds a password in plain text; add the entry again with --encode, or make the "
         "file readable by its owner only (chmod 600)");
    return;
  }
}

// Only reads: a catalogue in a folder that cannot be written is listed, and
// a missing one (in a folder that exists) lists no entry and is not created.
int List(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!folder.empty() && ::stat(folder.c_str(), &st) != 0) {
      Error("cannot read '" + path + "': its folder does not exist");
      return kExitUnavailable;
    }
    std::printf("Database Id\tDatabase\tSync Path\n");
    return kExitOk;
  }
  auto rows = ListCatalogue(path);
  if (!rows) {
    Error("cannot read '" + path + "': " + Describe(rows.error()));
    return kExitUnavailable;
  }
  std::printf("Database Id\tDatabase\tSync Path\n");
  for (const CatalogueRow& row : *rows) {
    // Every column shown drops its passwords: a synchronisation path may be a
    // connection text too.
    std::printf("%s\t%s\t%s\n", records::HidePasswords(row.database_id).c_str(),
                DisplayedDatabase(row.database).c_str(),
                records::HidePasswords(row.sync_path).c_str());
  }
  WarnOfPlainPasswords(path);
  return kExitOk;
}

int Add(const std::string& path, records::Database& db, const std::vector<std::string>& operands,
        bool encode) {
  const std::string& id = operands[0];
  std::string unc = operands[1];
  const std::string sync = operands.size() > 2 ? operands[2] : std::string();
  if (records::HoldsPassword(sync)) {
    Warn("the entry '" + id +
         "' keeps a password in plain text in its synchronisation path, which is never "
         "encoded");
  }
  if (encode) {
    if (!records::IsOdbcConnectionText(unc)) {
      Error("--encode takes an ODBC connection text, not '" + records::HidePasswords(unc) + "'");
      return kExitUsage;
    }
    const DecodeLibrary library = DecodeLibrary::Load(ProgramFolder());
    EncodedForms encoded = EncodeConnectionText(unc, library.functions());
    if (encoded.forms.empty()) {
      Error("cannot encode the connection text: " + encoded.why);
      return kExitUnavailable;
    }
    // The Base64 form, when there is one: it holds only printable characters.
    unc = encoded.forms.back();
  } else if (records::HoldsPassword(unc)) {
    Warn("the entry '" + id +
         "' keeps its password in plain text; --encode stores the connection text encoded");
  }
  auto held = Holds(path, id);
  if (!held) {
    Error("cannot read '" + path + "': " + Describe(held.error()));
    return kExitUnavailable;
  }
  if (*held) {
    Error("the catalogue already holds '" + id + "'");
    return kExitEntry;
  }
  const std::string insert =
      "INSERT INTO [Database Records] ([Database Id],[Database UNC],[Syncronization UNC]) "
      "VALUES ('" +
      records::SqlQuote(id) + "','" + records::SqlQuote(unc) + "','" + records::SqlQuote(sync) +
      "')";
  if (auto done = db.Execute(insert); !done) {
    Error("cannot add '" + id + "': " + Describe(done.error()));
    return done.error().number == records::kDuplicateValue ? kExitEntry : kExitCantCreate;
  }
  if (auto flushed = db.Flush(); !flushed) {
    Error("cannot write '" + path + "': " + Describe(flushed.error()));
    return kExitCantCreate;
  }
  WarnOfPlainPasswords(path);
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

// The ids alone, one a line, for the shell's completion: a missing catalogue
// holds none and is not made.
int ListIds(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return kExitOk;
  auto rows = ListCatalogue(path);
  if (!rows) {
    Error("cannot read '" + path + "': " + Describe(rows.error()));
    return kExitUnavailable;
  }
  for (const CatalogueRow& row : *rows) std::printf("%s\n", row.database_id.c_str());
  return kExitOk;
}

int Catalogue(const Request& given) {
  Request request = given;
  const AppFolderChoice folder = ChooseAppFolder(request.folder);
  request.folder = folder.folder;
  if (request.ids) {
    return ListIds(CataloguePath(request.folder == "/" ? std::string() : request.folder));
  }
  // The operator's own folder is made on first use; a folder named with
  // --folder must exist already.
  if (folder.is_config_folder && !MakeAppFolder(request.folder)) {
    Error("cannot make the folder '" + request.folder + "': " + std::strerror(errno));
    return kExitCantCreate;
  }
  // "DIR/" and "DIR" name the same folder.
  while (request.folder.size() > 1 && request.folder.back() == '/') request.folder.pop_back();
  const std::string path = CataloguePath(request.folder == "/" ? std::string() : request.folder);
  if (request.action == "list") return List(path);
  if (request.operands[0].find_first_not_of(" \t") == std::string::npos) {
    return UsageError("talvenor-import catalogue " + request.action,
                      "a Database Id cannot be empty or blank");
  }

  auto db = OpenForWriting(path);
  if (!db) {
    Error("cannot open '" + path + "': " + Describe(db.error()));
    return kExitCantCreate;
  }
  const int status = request.action == "add" ? Add(path, **db, request.operands, request.encode)
                                             : Remove(path, **db, request.operands[0]);
  (*db)->Close();
  return status;
}

}  // namespace

Action DefineCatalogue(CLI::App& app) {
  auto request = std::make_shared<Request>();
  SetUsage(app, std::string(kUsage));
  app.description(std::string(kDescription));
  app.footer(
      "Exit codes: 0 done, 64 bad usage, 65 the entry is already there (add) or\n"
      "missing (remove), 69 the catalogue cannot be read, 73 it cannot be written.");
  app.require_subcommand(1);
  // --folder may stand before or after the action.
  app.fallthrough();
  app.add_option("--folder", request->folder, "the folder that holds multi.mdb")
      ->type_name("DIR")
      ->check(NotAnOption());

  CLI::App* list = app.add_subcommand("list", "print the entries, one a line");
  CLI::App* add = app.add_subcommand("add", "add the entry ID with the path or text UNC");
  CLI::App* remove = app.add_subcommand("remove", "remove the entry ID");
  SetUsage(*list, "Usage: talvenor-import catalogue list [--ids] [--folder DIR]\n");
  SetUsage(*add, "Usage: talvenor-import catalogue add ID UNC [SYNC] [--encode] [--folder DIR]\n");
  SetUsage(*remove, "Usage: talvenor-import catalogue remove ID [--folder DIR]\n");
  for (CLI::App* action : {list, add, remove}) action->fallthrough();
  auto ids = std::make_shared<bool>(false);
  list->add_flag("--ids", *ids, "print the ids only, one a line; a missing catalogue is not made");
  auto add_id = std::make_shared<std::string>();
  auto unc = std::make_shared<std::string>();
  auto sync = std::make_shared<std::string>();
  add->add_option("ID", *add_id, "the Database Id")->required()->type_name("");
  add->add_option("UNC", *unc, "the database file path or connection text")
      ->required()
      ->type_name("");
  CLI::Option* sync_option =
      add->add_option("SYNC", *sync, "the synchronisation path (shown only)")->type_name("");
  auto encode = std::make_shared<bool>(false);
  add->add_flag("--encode", *encode,
                "store the connection text encoded (as 'encode' prints it), so that its "
                "password is not kept in plain text");
  auto remove_id = std::make_shared<std::string>();
  remove->add_option("ID", *remove_id, "the Database Id")->required()->type_name("");
  for (CLI::App* action : {list, add, remove}) {
    action->set_version_flag(
        "--version", "talvenor-import catalogue " + action->get_name() + " " + TALVENOR_VERSION,
        "show the version");
  }
  return [=] {
    if (list->parsed()) {
      request->action = "list";
      request->ids = *ids;
    } else if (add->parsed()) {
      request->action = "add";
      request->operands = {*add_id, *unc};
      request->encode = *encode;
      if (sync_option->count() > 0) request->operands.push_back(*sync);
    } else {
      request->action = "remove";
      request->operands = {*remove_id};
    }
    return Catalogue(*request);
  };
}

}  // namespace talvenor::app::cli
