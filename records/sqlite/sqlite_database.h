#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "records/commit_policy.h"
#include "records/database.h"

namespace talvenor::records {

namespace sqlite_detail {
class Connection;
}

// How long a statement waits for a lock another program holds on the file
// before it fails with 3218.
inline constexpr int kSqliteBusyTimeoutMs = 10'000;

// How Open treats a missing file, and when the file is first written.
enum class SqliteOpen {
  // A missing file is error 3024; it is never created. Opening writes
  // nothing: the file changes only once PrepareToWrite (or a write) is asked.
  kExisting,
  // A missing file is created (init, the catalogue tool, tests), and the
  // file is switched to its write-ahead log at once.
  kCreate,
};

// A database file through SQLite. Statements arrive as Jet SQL and are
// translated in one place (records/sqlite/jet_sql.h); statements that differ only in
// their literal values share one prepared statement.
//
// Writes are grouped into transactions: the first write opens one, and only
// LineDone (at a data line's end, once enough lines or time have passed),
// Flush and Close commit it, so a killed run leaves whole data lines only. A
// failing statement undoes only itself. Reads see the pending writes.
class SqliteDatabase final : public Database {
 public:
  static DbResult<std::unique_ptr<SqliteDatabase>> Open(std::string_view path, SqliteOpen mode);
  ~SqliteDatabase() override;

  // A dynaset of a SELECT (or of a table name), or with SetKind::kTable a
  // table by name. Sets that read one table can add rows to it.
  DbResult<std::unique_ptr<Recordset>> OpenRecordset(std::string_view sql_or_table,
                                                     SetKind kind = SetKind::kDynaset) override;
  DbStatus Execute(std::string_view sql) override;
  DbResult<bool> LineDone() override;
  DbStatus Flush() override;
  DbStatus Rollback() override;
  bool CanUndoLines() const override { return true; }
  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }
  KeyForm Keys() const override { return KeyForm::kEngineOrGuid; }
  DbStatus HoldAllWrites() override;
  DbStatus BeginTransaction() override;
  // Switches the file to its write-ahead log (WAL): many small commits then
  // cost little. Writes the file's header once; a file already in WAL mode
  // is left as it is.
  DbStatus PrepareToWrite() override;
  // Keeps the file with a rollback journal instead (for small files seldom
  // written, which can then be read where their folder cannot be written).
  DbStatus UseRollbackJournal();
  void Close() override;

  // When LineDone commits (the look-up indexes change all over, so larger
  // groups write far fewer pages).
  void SetCommitPolicy(const CommitPolicy& policy);
  // The most memory SQLite's page cache may take, in MiB (the default is
  // kDefaultCacheMib); pages are only held once read or written. Values below
  // 1 count as 1.
  static constexpr int kDefaultCacheMib = 256;
  DbStatus SetCacheMib(int mib);
  // True while writes wait for their commit.
  bool InTransaction() const;

  struct StatementCacheStats {
    std::size_t prepared = 0;  // statements prepared into the cache
    std::size_t reused = 0;    // statements served from the cache
    std::size_t held = 0;      // statements the cache holds now
  };
  StatementCacheStats statement_cache_stats() const;

 private:
  explicit SqliteDatabase(std::shared_ptr<sqlite_detail::Connection> connection);
  std::shared_ptr<sqlite_detail::Connection> connection_;
};

}  // namespace talvenor::records
