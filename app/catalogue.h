#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "records/db_error.h"
#include "records/operator.h"
#include "records/value.h"

namespace talvenor::app {

// The catalogue of target databases: the database file multi.mdb in the
// program's folder, table [Database Records] with the columns [Database Id],
// [Database UNC] (a file path or a connection text) and [Syncronization UNC]
// (shown only). Nothing in the window writes it; `talvenor-import catalogue`
// does.
inline constexpr std::string_view kCatalogueName = "multi.mdb";

inline constexpr std::string_view kListingSql =
    "SELECT [Database Id],[Database UNC],[Syncronization UNC],[Database UNC] As "
    "[Database],[Syncronization UNC] As [Sync Path] FROM [Database Records] ORDER BY "
    "[Database Id]";

// What the list shows in place of a connection text, so that logons stay
// hidden.
inline constexpr std::string_view kMaskedConnection = "ODBC Database (Logon Hidden)";

// AppFolder + "/multi.mdb".
std::string CataloguePath(std::string_view app_folder);

// One row of the listing, each field as its text (Null as the empty text), in
// the listing's field order. `database` is the unmasked text; the list masks
// it with DisplayedDatabase.
struct CatalogueRow {
  std::string database_id;   // 0, shown
  std::string database_unc;  // 1, hidden: what a choice puts in TargetPath
  std::string sync_unc;      // 2, hidden
  std::string database;      // 3, shown, masked for connection texts
  std::string sync_path;     // 4, shown, headed "Sync Path"
};

// Every entry of the catalogue file at `catalogue_path`, ordered by Database
// Id. An error when the file is missing or is not a catalogue.
records::DbResult<std::vector<CatalogueRow>> ListCatalogue(std::string_view catalogue_path);

// The text the list shows for an entry's [Database UNC]: the masked text when
// it holds "ODBC" in any letter case (a file path with those letters too) or
// is a connection text by records::IsOdbcConnectionText, otherwise the text
// itself. Display only.
std::string DisplayedDatabase(std::string_view database_unc);

// The statement that looks a Database Id up, the id quoted for SQL text (an
// apostrophe in it is doubled, so the id cannot change the statement).
std::string LookupSql(std::string_view database_id);

// The message shown when a Database Id given on the command line is not in
// the catalogue (or the catalogue cannot be read).
std::string EntryNotFoundMessage(std::string_view app_folder);

// The command-line step of start-up. `command_line` is the whole command-line
// text and is the Database Id when not empty (an empty one does nothing).
// When the catalogue holds the id, SelectedDatabaseId and TargetPath become
// the entry's (TargetPath unresolved: DoPath runs later). Otherwise shows
// EntryNotFoundMessage with the title "Error" and an exclamation icon and
// returns false: the program must then end at once, without saving the
// selection. A look-up that fails counts as not found.
bool LookUpCommandLine(AppState& state, std::string_view command_line, records::Operator& op);

// Applies a choice from the list: SelectedDatabaseId and TargetPath from the
// row, then DoPath.
void ChooseEntry(AppState& state, const CatalogueRow& row);

}  // namespace talvenor::app
