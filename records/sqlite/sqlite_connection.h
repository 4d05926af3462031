#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "records/commit_policy.h"
#include "records/db_error.h"
#include "records/sqlite/jet_sql.h"
#include "records/value.h"

struct sqlite3;
struct sqlite3_stmt;

// The inner parts of SqliteDatabase, shared by the database and its recordsets
// (a recordset that outlives its database fails cleanly instead of touching a
// closed connection). Not for use outside the SQLite engine.
namespace talvenor::records::sqlite_detail {

// How a column stores what is set into it, from its declared type.
enum class ColumnKind { kText, kInteger, kReal, kNumeric, kDateTime, kUntyped };

struct Column {
  std::string name;
  std::string declared;  // the declared type as written, "VARCHAR(50)"
  ColumnKind kind = ColumnKind::kUntyped;
  int size = 0;  // characters of a sized text type, else 0
};

// The declared kind and size of a type ("VARCHAR(50)" -> text, 50).
Column DescribeType(std::string name, std::string declared);

struct TableInfo {
  std::string name;  // as the schema spells it
  std::vector<Column> columns;
  int autonumber = -1;  // index of the INTEGER PRIMARY KEY column, -1 when none
  bool autoincrement = false;
  // Index of a column by name, letter case ignored; -1 when none.
  int Find(std::string_view column) const;

  // The INSERT text for a row that sets the columns `row` holds a value for
  // (one per column, in order), with a "?" for each. Made once per set of
  // columns; tables of more than 64 columns get a fresh text every time.
  const std::string& InsertSql(const std::vector<std::optional<Value>>& row) const;

 private:
  mutable std::vector<std::pair<std::uint64_t, std::string>> insert_sql_;
  mutable std::string uncached_sql_;
};

// The names and declared types of a statement's result columns.
struct ResultColumns {
  std::vector<std::string> names;
  std::vector<std::string> declared;  // "" for a column that is an expression
};

// A statement the connection keeps prepared, with what is known of it.
struct CachedStatement {
  std::string key;
  sqlite3_stmt* stmt = nullptr;
  bool in_use = false;
  // Read at the first use that asks for them, and forgotten when a statement
  // that is no data statement (a definition) runs.
  std::shared_ptr<const ResultColumns> columns;
};

// A prepared statement in use: borrowed from the cache or prepared for one
// use. Released statements are reset and their bindings cleared.
class Lease {
 public:
  Lease() = default;
  Lease(Lease&& other) noexcept;
  Lease& operator=(Lease&& other) noexcept;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  ~Lease();
  sqlite3_stmt* get() const { return stmt_; }
  // The statement's result columns (shared with every later use of a cached
  // statement).
  std::shared_ptr<const ResultColumns> Columns() const;

 private:
  friend class Connection;
  void Release();
  sqlite3_stmt* stmt_ = nullptr;
  bool owned_ = false;
  CachedStatement* entry_ = nullptr;  // the cache entry of a borrowed statement
};

class Connection {
 public:
  Connection(sqlite3* db, std::string path);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool is_open() const { return db_ != nullptr; }
  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }

  // Prepares a translated statement and binds its lifted literals. Shapes of
  // lifted statements are cached; other statements are prepared for one use.
  // The literals are bound without a copy: `statement` must outlive the lease.
  DbResult<Lease> Prepare(const SqliteStatement& statement);
  // Prepares SQLite text the engine wrote itself (always cached).
  DbResult<Lease> PrepareOwn(std::string_view sql);

  // The current SQLite error as a DbError.
  DbError LastError(int rc) const;

  // Runs a prepared statement to its end. A write first opens the transaction.
  DbStatus Run(Lease& lease);
  // Opens the write transaction unless one is open.
  DbStatus BeginWrite();
  bool InTransaction() const;

  // See Database::LineDone, Flush, Rollback and HoldAllWrites.
  DbResult<bool> LineDone();
  DbStatus Commit();
  DbStatus Rollback();
  void HoldAllWrites() { hold_ = true; }
  void SetCommitPolicy(const CommitPolicy& policy) { policy_ = policy; }
  // Commits what is pending (rolls it back while writes are held) and closes.
  void Close();
  // Switches the file to its write-ahead log (a write: only once the file
  // was accepted for writing).
  DbStatus UseWriteAheadLog();
  // Runs SQLite text of the engine's own (settings, a first read).
  DbStatus Exec(const char* sql);

  // The columns of a table (cached until a statement changes the schema);
  // error 3078 for a table that does not exist.
  DbResult<std::shared_ptr<const TableInfo>> Table(std::string_view name);
  void ForgetTables();
  // The key the table's AutoNumber column gives its next row. Read from the
  // table once per write transaction and then kept, moved on by every row
  // this connection stores in the table; forgotten when the transaction ends,
  // a statement fails or rows of the table are deleted.
  DbResult<std::int64_t> NextAutoNumber(const TableInfo& table);

  struct CacheStats {
    std::size_t prepared = 0;  // statements prepared for the cache
    std::size_t reused = 0;    // cache hits
    std::size_t held = 0;      // statements in the cache now
  };
  CacheStats cache_stats() const;
  static constexpr std::size_t kCacheCapacity = 256;

 private:
  using Cached = CachedStatement;
  DbResult<Lease> PrepareText(std::string_view sql, bool cache);
  // SQLite's busy handler: waits for another program's lock up to
  // kSqliteBusyTimeoutMs in short sleeps, and gives up at once when a stop
  // was asked for (Ctrl-C, SIGTERM) or while patient_ is false.
  static int OnBusy(void* self, int count);
  // Row and transaction hooks that keep next_keys_ true.
  static void OnRowChange(void* self, int op, const char* database, const char* table,
                          long long rowid);
  static int OnCommit(void* self);
  static void OnRollback(void* self);

  // The next AutoNumber key of tables rows were added to in the open write
  // transaction (a handful: a linear search beats hashing).
  struct NextKey {
    std::string table;  // as the schema spells it
    std::int64_t next = 0;
  };
  std::vector<NextKey> next_keys_;

  sqlite3* db_ = nullptr;
  std::string path_;
  std::list<Cached> cache_;  // most recently used first
  std::unordered_map<std::string_view, std::list<Cached>::iterator> cache_index_;  // views keys
  CacheStats stats_;
  // The tables asked for, by the name the caller used. A target has a dozen
  // tables and a name mostly differs from the others in its length or first
  // letters, so a scan with letter case ignored beats a sorted map.
  std::vector<std::pair<std::string, std::shared_ptr<const TableInfo>>> tables_;

  // Set when a failure undid the open transaction (a full disk, an I/O
  // error): the lines written since the last commit are gone, and no write is
  // taken until Rollback, so that the rest of a line cannot be committed
  // without its beginning.
  std::optional<DbError> transaction_lost_;
  bool hold_ = false;                    // a dry run: nothing is ever committed
  bool checkpoint_each_commit_ = false;  // since a rollback: see Commit

  // How the last wait for a lock ended, read (and forgotten) by LastError.
  enum class WaitEnd { kNone, kTimedOut, kStopped };
  std::chrono::steady_clock::time_point wait_began_;
  mutable WaitEnd wait_end_ = WaitEnd::kNone;
  mutable std::chrono::steady_clock::duration waited_{};
  bool patient_ = true;

  CommitPolicy policy_;
  int lines_in_transaction_ = 0;
  std::chrono::steady_clock::time_point transaction_began_;
};

// Quotes a name for SQLite text: "name" with any " doubled.
std::string QuoteName(std::string_view name);
// Quotes a text literal: 'text' with any ' doubled.
std::string QuoteText(std::string_view value);

}  // namespace talvenor::records::sqlite_detail
