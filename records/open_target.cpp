#include "records/open_target.h"

#include "records/odbc/odbc_database.h"
#include "records/sqlite/sqlite_database.h"

namespace talvenor::records {
namespace {

DbResult<std::unique_ptr<Database>> OpenServer(const TargetAddress& address,
                                               const TargetSettings& settings) {
  auto db = OdbcDatabase::Open(address.text);
  if (!db) return std::unexpected(db.error());
  (*db)->SetCommitPolicy(settings.commit);
  return std::unique_ptr<Database>(std::move(*db));
}

DbResult<std::unique_ptr<Database>> OpenFile(const TargetAddress& address, SqliteOpen how,
                                             const TargetSettings& settings) {
  auto db = SqliteDatabase::Open(address.text, how);
  if (!db) return std::unexpected(db.error());
  (*db)->SetCommitPolicy(settings.commit);
  if (settings.cache_mib > 0) {
    if (auto set = (*db)->SetCacheMib(settings.cache_mib); !set) {
      return std::unexpected(std::move(set.error()));
    }
  }
  if (settings.rollback_journal) {
    if (auto journal = (*db)->UseRollbackJournal(); !journal) {
      return std::unexpected(std::move(journal.error()));
    }
  }
  return std::unique_ptr<Database>(std::move(*db));
}

}  // namespace

DbResult<std::unique_ptr<Database>> OpenTarget(const TargetAddress& address) {
  return OpenTargetWith(address, TargetSettings{});
}

DbResult<std::unique_ptr<Database>> OpenTargetWith(const TargetAddress& address,
                                                   const TargetSettings& settings) {
  if (address.kind == TargetKind::kOdbc) return OpenServer(address, settings);
  return OpenFile(address, SqliteOpen::kExisting, settings);
}

DbResult<std::unique_ptr<Database>> CreateTarget(const TargetAddress& address,
                                                 const TargetSettings& settings) {
  if (address.kind == TargetKind::kOdbc) return OpenServer(address, settings);
  return OpenFile(address, SqliteOpen::kCreate, settings);
}

}  // namespace talvenor::records
