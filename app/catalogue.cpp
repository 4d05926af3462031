#include "app/catalogue.h"

#include <utility>

#include "app/do_path.h"
#include "records/connection_text.h"
#include "records/read_rows.h"
#include "records/sql_quote.h"
#include "text/ascii.h"

namespace talvenor::app {

std::string CataloguePath(std::string_view app_folder) {
  return std::string(app_folder) + "/" + std::string(kCatalogueName);
}

records::DbResult<std::vector<CatalogueRow>> ListCatalogue(std::string_view catalogue_path) {
  records::DbResult<records::QueryRows> result = records::ReadAllRows(catalogue_path, kListingSql);
  if (!result) return std::unexpected(std::move(result.error()));
  std::vector<CatalogueRow> rows;
  rows.reserve(result->rows.size());
  for (const std::vector<records::Value>& fields : result->rows) {
    // The listing statement names five fields; a row has all of them.
    auto field = [&](size_t i) { return i < fields.size() ? fields[i].ToText() : std::string(); };
    rows.push_back({field(0), field(1), field(2), field(3), field(4)});
  }
  return rows;
}

std::string DisplayedDatabase(std::string_view database_unc) {
  // A connection text without the letters "ODBC" (DRIVER=...;PWD=...) holds
  // a logon as much as one with them: both are masked.
  if (text::FindIgnoreCase(database_unc, "ODBC") != std::string_view::npos ||
      records::IsOdbcConnectionText(database_unc)) {
    return std::string(kMaskedConnection);
  }
  return std::string(database_unc);
}

std::string LookupSql(std::string_view database_id) {
  return "SELECT [Database Id],[Database UNC] FROM [Database Records] WHERE [Database Id] = '" +
         records::SqlQuote(database_id) + "'";
}

std::string EntryNotFoundMessage(std::string_view app_folder) {
  return "Database Entry Not Found in '" + CataloguePath(app_folder) + "'.  Exiting Application";
}

bool LookUpCommandLine(AppState& state, std::string_view command_line, records::Operator& op) {
  if (command_line.empty()) return true;
  const records::DbResult<records::QueryRows> found =
      records::ReadAllRows(CataloguePath(state.AppFolder), LookupSql(command_line));
  // A statement that fails on an open catalogue selects nothing either: going
  // on with the saved selection would import into a database nobody named.
  if (!found || found->rows.empty() || found->rows.front().size() < 2) {
    op.ShowMessage(EntryNotFoundMessage(state.AppFolder), "Error",
                   records::MessageIcon::kExclamation);
    return false;
  }
  const std::vector<records::Value>& row = found->rows.front();
  state.SelectedDatabaseId = row[0];
  state.TargetPath = row[1].ToText();
  return true;
}

void ChooseEntry(AppState& state, const CatalogueRow& row) {
  state.SelectedDatabaseId = records::Value::Text(row.database_id);
  state.TargetPath = row.database_unc;
  DoPath(state, state.TargetPath);
}

}  // namespace talvenor::app
