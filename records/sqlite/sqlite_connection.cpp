#include "records/sqlite/sqlite_connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cassert>
#include <charconv>
#include <thread>
#include <utility>

#include "records/sql_quote.h"
#include "records/sqlite/sqlite_database.h"
#include "records/sqlite/sqlite_error.h"
#include "records/stop_request.h"
#include "text/ascii.h"

namespace talvenor::records::sqlite_detail {
namespace {

bool Has(const std::string& upper, std::string_view part) {
  return upper.find(part) != std::string::npos;
}

}  // namespace

Column DescribeType(std::string name, std::string declared) {
  Column c;
  c.name = std::move(name);
  c.declared = std::move(declared);
  const std::string upper = text::AsciiUpper(c.declared);
  // SQLite's affinity rules, in its order, with date and time types told apart
  // so that the texts set into them are brought into one form.
  if (Has(upper, "INT")) {
    c.kind = ColumnKind::kInteger;
  } else if (Has(upper, "CHAR") || Has(upper, "CLOB") || Has(upper, "TEXT")) {
    c.kind = ColumnKind::kText;
  } else if (upper.empty() || Has(upper, "BLOB")) {
    c.kind = ColumnKind::kUntyped;
  } else if (Has(upper, "REAL") || Has(upper, "FLOA") || Has(upper, "DOUB")) {
    c.kind = ColumnKind::kReal;
  } else if (Has(upper, "DATE") || Has(upper, "TIME")) {
    c.kind = ColumnKind::kDateTime;
  } else {
    c.kind = ColumnKind::kNumeric;
  }
  if (c.kind == ColumnKind::kText) {
    const size_t open = upper.find('(');
    if (open != std::string::npos) {
      int size = 0;
      const char* first = upper.data() + open + 1;
      while (*first == ' ') ++first;
      const auto [end, ec] = std::from_chars(first, upper.data() + upper.size(), size);
      if (ec == std::errc() && end != first && size > 0) c.size = size;
    }
  }
  return c;
}

int TableInfo::Find(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (text::EqualsIgnoreCase(columns[i].name, column)) return int(i);
  }
  return -1;
}

const std::string& TableInfo::InsertSql(const std::vector<std::optional<Value>>& row) const {
  assert(row.size() == columns.size() && "one value slot per column");
  constexpr size_t kMaskBits = 64;
  const bool cached = row.size() <= kMaskBits;
  std::uint64_t set_columns = 0;
  if (cached) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (row[i]) set_columns |= std::uint64_t{1} << i;
    }
    for (const auto& [mask, sql] : insert_sql_) {
      if (mask == set_columns) return sql;
    }
  }
  std::string names;
  std::string marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!row[i]) continue;
    if (!marks.empty()) {
      names += ',';
      marks += ',';
    }
    names += QuoteName(columns[i].name);
    marks += '?';
  }
  std::string sql =
      marks.empty() ? "INSERT INTO " + QuoteName(name) + " DEFAULT VALUES"
                    : "INSERT INTO " + QuoteName(name) + " (" + names + ") VALUES (" + marks + ")";
  if (!cached) {
    uncached_sql_ = std::move(sql);
    return uncached_sql_;
  }
  return insert_sql_.emplace_back(set_columns, std::move(sql)).second;
}

std::string QuoteText(std::string_view value) { return "'" + SqlQuote(value) + "'"; }

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  out.push_back('"');
  return out;
}

// --- Lease -----------------------------------------------------------------

Lease::Lease(Lease&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)),
      owned_(other.owned_),
      entry_(std::exchange(other.entry_, nullptr)) {}

Lease& Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    stmt_ = std::exchange(other.stmt_, nullptr);
    owned_ = other.owned_;
    entry_ = std::exchange(other.entry_, nullptr);
  }
  return *this;
}

Lease::~Lease() { Release(); }

void Lease::Release() {
  if (stmt_ == nullptr) return;
  if (owned_) {
    sqlite3_finalize(stmt_);
  } else {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    if (entry_) entry_->in_use = false;
  }
  stmt_ = nullptr;
  entry_ = nullptr;
}

std::shared_ptr<const ResultColumns> Lease::Columns() const {
  const int count = stmt_ ? sqlite3_column_count(stmt_) : 0;
  // SQLite prepares a statement again after another connection changed the
  // schema; a different column count then shows the names are out of date.
  if (entry_ && entry_->columns && entry_->columns->names.size() == size_t(count)) {
    return entry_->columns;
  }
  auto columns = std::make_shared<ResultColumns>();
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(stmt_, i);
    const char* declared = sqlite3_column_decltype(stmt_, i);
    columns->names.emplace_back(name ? name : "");
    columns->declared.emplace_back(declared ? declared : "");
  }
  if (entry_) entry_->columns = columns;
  return columns;
}

// --- Connection --------------------------------------------------------------

Connection::Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {
  sqlite3_update_hook(db_, &Connection::OnRowChange, this);
  sqlite3_commit_hook(db_, &Connection::OnCommit, this);
  sqlite3_rollback_hook(db_, &Connection::OnRollback, this);
  sqlite3_busy_handler(db_, &Connection::OnBusy, this);
}

int Connection::OnBusy(void* self, int count) {
  auto* connection = static_cast<Connection*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (count == 0) connection->wait_began_ = now;
  connection->waited_ = now - connection->wait_began_;
  if (StopRequested()) {
    connection->wait_end_ = WaitEnd::kStopped;
    return 0;
  }
  const auto limit = std::chrono::milliseconds(kSqliteBusyTimeoutMs);
  if (!connection->patient_ || connection->waited_ >= limit) {
    connection->wait_end_ = WaitEnd::kTimedOut;
    return 0;
  }
  // Short sleeps: a stop asked for is heard within a few hundredths of a second.
  std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
      std::chrono::milliseconds(20), limit - connection->waited_));
  return 1;
}

void Connection::OnRowChange(void* self, int op, const char* database, const char* table,
                             long long rowid) {
  auto* connection = static_cast<Connection*>(self);
  if (connection->next_keys_.empty() || std::string_view(database) != "main") return;
  auto& keys = connection->next_keys_;
  for (auto it = keys.begin(); it != keys.end(); ++it) {
    if (it->table != table) continue;
    // A deleted row may have been the highest: the next key is read again.
    if (op == SQLITE_DELETE) {
      keys.erase(it);
    } else if (rowid >= it->next) {
      it->next = rowid + 1;
    }
    return;
  }
}

int Connection::OnCommit(void* self) {
  // Once the transaction ends another connection may add rows.
  static_cast<Connection*>(self)->next_keys_.clear();
  return 0;
}

void Connection::OnRollback(void* self) { static_cast<Connection*>(self)->next_keys_.clear(); }

Connection::~Connection() { Close(); }

DbError Connection::LastError(int rc) const {
  const int extended = db_ ? sqlite3_extended_errcode(db_) : rc;
  // The step result is the primary code of the extended one SQLite remembers.
  const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
  DbError error = SqliteError(code, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc), path_);
  const WaitEnd wait_end = std::exchange(wait_end_, WaitEnd::kNone);
  if ((code & 0xff) != SQLITE_BUSY || wait_end == WaitEnd::kNone) return error;
  error.waited_s = static_cast<int>(
      (std::chrono::duration_cast<std::chrono::milliseconds>(waited_).count() + 500) / 1000);
  if (wait_end == WaitEnd::kStopped) {
    DbError stopped = StoppedError();
    stopped.waited_s = error.waited_s;
    stopped.providers = std::move(error.providers);
    stopped.providers.push_back(
        {kOperationCanceled, "", "stopped while waiting for a lock another program holds"});
    return stopped;
  }
  return error;
}

DbResult<Lease> Connection::PrepareText(std::string_view sql, bool cache) {
  if (!db_) return std::unexpected(EngineError(kObjectInvalid));
  Lease lease;
  if (cache) {
    auto found = cache_index_.find(sql);
    if (found != cache_index_.end() && !found->second->in_use) {
      cache_.splice(cache_.begin(), cache_, found->second);
      ++stats_.reused;
      lease.stmt_ = found->second->stmt;
      lease.entry_ = &*found->second;
      found->second->in_use = true;
      return lease;
    }
    // A shape already in use (a statement run from inside another) gets a
    // statement of its own.
    if (found != cache_index_.end()) cache = false;
  }
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v3(db_, sql.data(), int(sql.size()),
                                    cache ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, &tail);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return std::unexpected(LastError(rc));
  }
  if (stmt == nullptr) return std::unexpected(EngineError(kInvalidSqlStatement));
  if (tail && !IsBlankSql(std::string_view(tail, sql.data() + sql.size() - tail))) {
    sqlite3_finalize(stmt);
    return std::unexpected(EngineError(kTextAfterStatement));
  }
  if (!cache) {
    lease.stmt_ = stmt;
    lease.owned_ = true;
    return lease;
  }
  // Make room: drop the least recently used statements not in use.
  for (auto it = cache_.end(); cache_.size() >= kCacheCapacity && it != cache_.begin();) {
    --it;
    if (it->in_use) continue;
    sqlite3_finalize(it->stmt);
    cache_index_.erase(it->key);
    it = cache_.erase(it);
  }
  cache_.push_front(Cached{std::string(sql), stmt, true, nullptr});
  cache_index_[cache_.front().key] = cache_.begin();
  ++stats_.prepared;
  lease.stmt_ = stmt;
  lease.entry_ = &cache_.front();
  return lease;
}

DbResult<Lease> Connection::Prepare(const SqliteStatement& statement) {
  if (statement.several_statements) return std::unexpected(EngineError(kTextAfterStatement));
  auto lease = PrepareText(statement.text, statement.lifted);
  if (!lease) return lease;
  sqlite3_stmt* stmt = lease->get();
  for (size_t i = 0; i < statement.params.size(); ++i) {
    const int at = int(i) + 1;
    const SqlParam& p = statement.params[i];
    if (const auto* n = std::get_if<std::int64_t>(&p)) {
      sqlite3_bind_int64(stmt, at, *n);
    } else if (const auto* d = std::get_if<double>(&p)) {
      sqlite3_bind_double(stmt, at, *d);
    } else {
      const std::string& s = std::get<std::string>(p);
      sqlite3_bind_text(stmt, at, s.data(), int(s.size()), SQLITE_STATIC);
    }
  }
  return lease;
}

DbResult<Lease> Connection::PrepareOwn(std::string_view sql) {
  return PrepareText(sql, /*cache=*/true);
}

bool Connection::InTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

DbStatus Connection::Exec(const char* sql) {
  if (!db_) return std::unexpected(EngineError(kObjectInvalid));
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return std::unexpected(LastError(rc));
  return {};
}

DbStatus Connection::BeginWrite() {
  if (!db_) return std::unexpected(EngineError(kObjectInvalid));
  if (transaction_lost_) return std::unexpected(*transaction_lost_);
  if (InTransaction()) return {};
  // IMMEDIATE takes the write lock now: the AutoNumber key read at AddNew is
  // then still free when the row is inserted.
  if (auto ok = Exec("BEGIN IMMEDIATE"); !ok) return ok;
  lines_in_transaction_ = 0;
  transaction_began_ = std::chrono::steady_clock::now();
  return {};
}

DbStatus Connection::Run(Lease& lease) {
  sqlite3_stmt* stmt = lease.get();
  if (!sqlite3_stmt_readonly(stmt)) {
    if (auto ok = BeginWrite(); !ok) return ok;
  }
  const bool had_transaction = InTransaction();
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
  }
  if (rc == SQLITE_DONE) return {};
  DbError error = LastError(rc);
  sqlite3_reset(stmt);
  // Rows the failed statement undid were counted by the row hook.
  next_keys_.clear();
  if (had_transaction && !InTransaction()) {
    // Some failures (a full disk, an I/O error) roll the whole transaction
    // back, not only the statement: the writes since the last commit are gone.
    error.providers.push_back(
        {rc, "", "the open transaction was rolled back; writes since the last commit are lost"});
    transaction_lost_ = error;
  }
  return std::unexpected(std::move(error));
}

DbResult<bool> Connection::LineDone() {
  if (transaction_lost_) return std::unexpected(*transaction_lost_);
  if (hold_ || !InTransaction()) return true;
  ++lines_in_transaction_;
  if (!policy_.Due(lines_in_transaction_, std::chrono::steady_clock::now() - transaction_began_)) {
    return false;
  }
  if (auto ok = Commit(); !ok) return std::unexpected(std::move(ok.error()));
  return true;
}

DbStatus Connection::Commit() {
  if (transaction_lost_) return std::unexpected(*transaction_lost_);
  if (hold_ || !InTransaction()) return {};
  const DbStatus done = Exec("COMMIT");
  // A COMMIT that fails may leave the transaction open (a lock) or end it
  // (an I/O error): either way its writes are not stored until Rollback and
  // a new attempt.
  if (!done && !InTransaction()) transaction_lost_ = done.error();
  // After a failure lines are committed one by one, each writing its pages to
  // the log again: moved into the file at once, the log's space is reused
  // instead of growing on a disk that may be full.
  if (done && checkpoint_each_commit_) (void)Exec("PRAGMA wal_checkpoint(PASSIVE)");
  return done;
}

DbStatus Connection::Rollback() {
  transaction_lost_.reset();
  next_keys_.clear();
  if (InTransaction()) {
    if (auto ok = Exec("ROLLBACK"); !ok) return ok;
  }
  // A rollback follows a failure, often of a full disk: what is committed
  // moves from the write-ahead log into the file, and the log gives its space
  // back, so that the lines tried again have room. It is no failure when this
  // cannot be done (a reader holds the log), and it does not wait for one.
  patient_ = false;
  (void)Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  patient_ = true;
  checkpoint_each_commit_ = true;
  return {};
}

DbStatus Connection::UseWriteAheadLog() { return Exec("PRAGMA journal_mode=WAL"); }

void Connection::Close() {
  if (!db_) return;
  if (hold_ || !Commit()) {
    // Nothing can be reported from here; the caller who wanted to know flushed.
    const DbStatus rolled_back = Rollback();
    (void)rolled_back;
  }
  for (Cached& c : cache_) sqlite3_finalize(c.stmt);
  cache_index_.clear();
  cache_.clear();
  tables_.clear();
  next_keys_.clear();
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

void Connection::ForgetTables() {
  tables_.clear();
  next_keys_.clear();
  // A definition may have changed what "SELECT *" returns.
  for (Cached& c : cache_) c.columns.reset();
}

DbResult<std::shared_ptr<const TableInfo>> Connection::Table(std::string_view name) {
  for (const auto& [asked, info] : tables_) {
    if (text::EqualsIgnoreCase(asked, name)) return info;
  }

  auto schema = PrepareOwn(
      "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  if (!schema) return std::unexpected(schema.error());
  sqlite3_bind_text(schema->get(), 1, name.data(), int(name.size()), SQLITE_TRANSIENT);
  int rc = sqlite3_step(schema->get());
  if (rc == SQLITE_DONE) {
    return std::unexpected(EngineError(
        kInputTableNotFound, "The database engine cannot find the input table or query '" +
                                 std::string(name) +
                                 "'. Make sure it exists and that its name is spelled correctly."));
  }
  if (rc != SQLITE_ROW) return std::unexpected(LastError(rc));
  auto info = std::make_shared<TableInfo>();
  info->name = reinterpret_cast<const char*>(sqlite3_column_text(schema->get(), 0));
  const unsigned char* create = sqlite3_column_text(schema->get(), 1);
  info->autoincrement = create && text::FindIgnoreCase(reinterpret_cast<const char*>(create),
                                                       "AUTOINCREMENT") != std::string_view::npos;
  schema = Lease();

  auto columns = PrepareOwn("SELECT name, type, pk FROM pragma_table_info(?1)");
  if (!columns) return std::unexpected(columns.error());
  sqlite3_bind_text(columns->get(), 1, info->name.data(), int(info->name.size()), SQLITE_TRANSIENT);
  int key_columns = 0;
  int key_index = -1;
  while ((rc = sqlite3_step(columns->get())) == SQLITE_ROW) {
    auto text_at = [&](int i) {
      const unsigned char* t = sqlite3_column_text(columns->get(), i);
      return std::string(t ? reinterpret_cast<const char*>(t) : "");
    };
    info->columns.push_back(DescribeType(text_at(0), text_at(1)));
    if (sqlite3_column_int(columns->get(), 2) > 0) {
      ++key_columns;
      key_index = int(info->columns.size()) - 1;
    }
  }
  if (rc != SQLITE_DONE) return std::unexpected(LastError(rc));
  // A sole key column declared exactly INTEGER is the row id: the table
  // numbers its rows itself (an AutoNumber).
  if (key_columns == 1 && text::EqualsIgnoreCase(info->columns[key_index].declared, "INTEGER")) {
    info->autonumber = key_index;
  }
  std::shared_ptr<const TableInfo> shared = std::move(info);
  tables_.emplace_back(std::string(name), shared);
  return shared;
}

DbResult<std::int64_t> Connection::NextAutoNumber(const TableInfo& table) {
  // Kept only inside a write transaction: outside one another connection may
  // add rows at any time.
  const bool keep = InTransaction();
  if (keep) {
    for (const NextKey& k : next_keys_) {
      if (k.table == table.name) return k.next;
    }
  }
  // The next row id is one past the highest in use, and with AUTOINCREMENT
  // also past the highest ever used (sqlite_sequence keeps it).
  std::string sql = "SELECT coalesce(max(rowid), 0) FROM " + QuoteName(table.name);
  if (table.autoincrement) {
    sql = "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = " +
          QuoteText(table.name) + "), 0), (" + sql + "))";
  }
  auto lease = PrepareOwn(sql);
  if (!lease) return std::unexpected(lease.error());
  const int rc = sqlite3_step(lease->get());
  if (rc != SQLITE_ROW) return std::unexpected(LastError(rc));
  const std::int64_t next = sqlite3_column_int64(lease->get(), 0) + 1;
  if (keep) next_keys_.push_back({table.name, next});
  return next;
}

Connection::CacheStats Connection::cache_stats() const {
  CacheStats s = stats_;
  s.held = cache_.size();
  return s;
}

}  // namespace talvenor::records::sqlite_detail
