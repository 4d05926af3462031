#include "records/open_target.h"

#include "records/odbc/odbc_database.h"
#include "records/sqlite/sqlite_database.h"

namespace talvenor::records {

DbResult<std::unique_ptr<Database>> OpenTarget(std::string_view path, bool is_odbc) {
  return OpenTargetWith(path, is_odbc, TargetSettings{});
}

DbResult<std::unique_ptr<Database>> OpenTargetWith(std::string_view path, bool is_odbc,
                                                   const TargetSettings& settings) {
  if (is_odbc) {
    auto db = OdbcDatabase::Open(path);
    if (!db) return std::unexpected(db.error());
    (*db)->SetCommitPolicy(settings.commit);
    return std::unique_ptr<Database>(std::move(*db));
  }
  auto db = SqliteDatabase::Open(path, SqliteOpen::kExisting);
  if (!db) return std::unexpected(db.error());
  (*db)->SetCommitPolicy(settings.commit);
  if (settings.cache_mib > 0) {
    if (auto set = (*db)->SetCacheMib(settings.cache_mib); !set) {
      return std::unexpected(std::move(set.error()));
    }
  }
  return std::unique_ptr<Database>(std::move(*db));
}

}  // namespace talvenor::records
