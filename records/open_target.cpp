#include "records/open_target.h"

#include "records/sqlite_database.h"

namespace talvenor::records {

DbResult<std::unique_ptr<Database>> OpenTarget(std::string_view path, bool is_odbc) {
  if (is_odbc) {
    DbError error;
    error.number = kOdbcCallFailed;
    error.description = StandardErrorText(kOdbcCallFailed);
    error.providers.push_back({0, "IM001", "ODBC support is not built"});
    return std::unexpected(std::move(error));
  }
  auto db = SqliteDatabase::Open(path, SqliteOpen::kExisting);
  if (!db) return std::unexpected(db.error());
  return std::unique_ptr<Database>(std::move(*db));
}

}  // namespace talvenor::records
