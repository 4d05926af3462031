#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "records/read_rows.h"
#include "records/sqlite/sqlite_error.h"

namespace talvenor::records {
namespace {

struct CloseDb {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStmt {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

Value ColumnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER:
      return Value::Number(static_cast<double>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
      return Value::Number(sqlite3_column_double(stmt, column));
    default: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      const int size = sqlite3_column_bytes(stmt, column);
      return Value::Text(bytes == nullptr ? std::string() : std::string(bytes, size));
    }
  }
}

// `path` as an SQLite file URI that reads the file as it stands, without a
// lock or a -shm file: "file:/a%20b.db?immutable=1".
std::string ImmutableUri(std::string_view path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#' || c == ' ') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

DbResult<QueryRows> ReadRows(std::string_view path, std::string_view sql, bool immutable);

}  // namespace

DbResult<QueryRows> ReadAllRows(std::string_view path, std::string_view sql) {
  DbResult<QueryRows> rows = ReadRows(path, sql, /*immutable=*/false);
  // A file in WAL mode is read through a -shm file beside it, which a folder
  // that cannot be written cannot hold. Without a -wal file beside it every
  // committed row is in the file itself, and it is read as it stands.
  if (!rows && !rows.error().providers.empty()) {
    const int code = static_cast<int>(rows.error().providers.front().number) & 0xff;
    std::error_code ec;
    if ((code == SQLITE_CANTOPEN || code == SQLITE_READONLY) &&
        !std::filesystem::exists(std::string(path) + "-wal", ec) &&
        std::filesystem::exists(path, ec)) {
      return ReadRows(path, sql, /*immutable=*/true);
    }
  }
  return rows;
}

namespace {

DbResult<QueryRows> ReadRows(std::string_view path, std::string_view sql, bool immutable) {
  const std::string file = immutable ? ImmutableUri(path) : std::string(path);
  sqlite3* raw = nullptr;
  const int open_rc = sqlite3_open_v2(
      file.c_str(), &raw, SQLITE_OPEN_READONLY | (immutable ? SQLITE_OPEN_URI : 0), nullptr);
  std::unique_ptr<sqlite3, CloseDb> db(raw);
  if (open_rc != SQLITE_OK) {
    const std::string message = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(open_rc);
    return std::unexpected(
        SqliteError(raw != nullptr ? sqlite3_extended_errcode(raw) : open_rc, message, path));
  }
  sqlite3_extended_result_codes(db.get(), 1);
  // A writer in another process holds its lock only briefly.
  sqlite3_busy_timeout(db.get(), 2000);

  sqlite3_stmt* raw_stmt = nullptr;
  const char* tail = nullptr;
  const int prepare_rc =
      sqlite3_prepare_v2(db.get(), sql.data(), static_cast<int>(sql.size()), &raw_stmt, &tail);
  std::unique_ptr<sqlite3_stmt, FinalizeStmt> stmt(raw_stmt);
  if (prepare_rc != SQLITE_OK) {
    return std::unexpected(
        SqliteError(sqlite3_extended_errcode(db.get()), sqlite3_errmsg(db.get()), path));
  }
  if (stmt == nullptr) return std::unexpected(EngineError(kInvalidSqlStatement));
  if (tail != nullptr && tail != sql.data() + sql.size()) {
    const std::string_view rest(tail, sql.data() + sql.size() - tail);
    if (rest.find_first_not_of(" \t\r\n;") != std::string_view::npos) {
      return std::unexpected(EngineError(kTextAfterStatement));
    }
  }
  if (!sqlite3_stmt_readonly(stmt.get())) return std::unexpected(EngineError(kInvalidOperation));

  QueryRows result;
  const int columns = sqlite3_column_count(stmt.get());
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(stmt.get(), c);
    result.names.emplace_back(name != nullptr ? name : "");
  }
  for (;;) {
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      return std::unexpected(
          SqliteError(sqlite3_extended_errcode(db.get()), sqlite3_errmsg(db.get()), path));
    }
    std::vector<Value>& row = result.rows.emplace_back();
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(ColumnValue(stmt.get(), c));
  }
  return result;
}

}  // namespace

}  // namespace talvenor::records
