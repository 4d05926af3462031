#include "records/sqlite/sqlite_recordset.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "records/date_time.h"
#include "records/sqlite/jet_sql.h"
#include "records/sqlite/sqlite_error.h"
#include "text/ascii.h"
#include "text/string_utils.h"
#include "text/utf8.h"

namespace talvenor::records::sqlite_detail {
namespace {

std::optional<double> ParseNumber(std::string_view s) {
  s = text::TrimView(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

Value ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return Value::Number(double(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return Value::Number(sqlite3_column_double(stmt, i));
    case SQLITE_NULL:
      return Value::Null();
    default: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      const int size = sqlite3_column_bytes(stmt, i);
      return Value::Text(bytes ? std::string(bytes, size_t(size)) : std::string());
    }
  }
}

// Texts are bound without a copy: the value must outlive the statement's run
// (the statement is reset and its bindings cleared when its lease ends).
void Bind(sqlite3_stmt* stmt, int at, const Value& v) {
  if (v.IsText()) {
    sqlite3_bind_text(stmt, at, v.text().data(), int(v.text().size()), SQLITE_STATIC);
  } else if (v.IsNumber()) {
    const double n = v.number();
    // Whole numbers go in as integers, so that an INTEGER column holds them as
    // such and keys compare exactly.
    if (n == std::trunc(n) && std::fabs(n) < 9.0e18) {
      sqlite3_bind_int64(stmt, at, static_cast<sqlite3_int64>(n));
    } else {
      sqlite3_bind_double(stmt, at, n);
    }
  } else {
    sqlite3_bind_null(stmt, at);
  }
}

DbResult<Value> SizedText(const Column& column, std::string text) {
  // A text of no more bytes than the size has no more characters either.
  if (column.size > 0 && text.size() > size_t(column.size) &&
      text::Utf8Length(text) > size_t(column.size)) {
    return std::unexpected(EngineError(kFieldTooSmall));
  }
  return Value::Text(std::move(text));
}

DbError ItemNotFound() { return EngineError(kItemNotFound); }

}  // namespace

std::string SqliteDateText(double serial) { return IsoDateText(serial); }

DbResult<Value> StoredForm(const Column& column, const Value& value) {
  if (!value.HasValue()) return Value::Null();
  switch (column.kind) {
    case ColumnKind::kText:
      if (value.IsNumber()) return SizedText(column, NumberToText(value.number()));
      if (value.IsDateTime()) return SizedText(column, SqliteDateText(value.number()));
      return SizedText(column, value.text());
    case ColumnKind::kInteger:
    case ColumnKind::kReal:
    case ColumnKind::kNumeric:
      if (value.IsText()) {
        if (auto n = ParseNumber(value.text())) return Value::Number(*n);
        return std::unexpected(EngineError(kConversionError));
      }
      return Value::Number(value.number());
    case ColumnKind::kDateTime:
      if (value.IsText()) {
        auto serial = ParseDateTime(text::TrimView(value.text()));
        if (!serial) return std::unexpected(EngineError(kConversionError));
        return Value::Text(SqliteDateText(*serial));
      }
      return Value::Text(SqliteDateText(value.number()));
    case ColumnKind::kUntyped:
      if (value.IsDateTime()) return Value::Text(SqliteDateText(value.number()));
      return value;
  }
  return value;
}

SqliteRecordset::SqliteRecordset(std::shared_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

DbResult<std::unique_ptr<Recordset>> SqliteRecordset::OpenQuery(
    std::shared_ptr<Connection> connection, std::string_view jet_sql) {
  std::unique_ptr<SqliteRecordset> set(new SqliteRecordset(std::move(connection)));
  if (auto ok = set->Run(jet_sql); !ok) return std::unexpected(ok.error());
  set->source_ = std::string(jet_sql);
  return set;
}

DbResult<std::unique_ptr<Recordset>> SqliteRecordset::OpenTable(
    std::shared_ptr<Connection> connection, std::string_view table) {
  std::unique_ptr<SqliteRecordset> set(new SqliteRecordset(std::move(connection)));
  auto info = set->connection_->Table(table);
  if (!info) return std::unexpected(info.error());
  set->table_ = *info;
  set->table_known_ = true;
  return set;
}

const TableInfo* SqliteRecordset::Target() const {
  if (!table_known_) {
    table_known_ = true;
    // A set that reads one table adds rows to it (the insert sets). Found
    // only when asked: look-ups never need it.
    if (auto table = SingleTableOf(source_)) {
      if (auto info = connection_->Table(*table)) table_ = *info;
    }
  }
  return table_.get();
}

DbStatus SqliteRecordset::Usable() const {
  if (!connection_ || !connection_->is_open()) {
    return std::unexpected(EngineError(kObjectInvalid));
  }
  return {};
}

DbStatus SqliteRecordset::Run(std::string_view jet_sql) const {
  if (auto ok = Usable(); !ok) return ok;
  // Its literals are bound without a copy, so it outlives the lease.
  const SqliteStatement statement = TranslateJetSql(jet_sql);
  auto lease = connection_->Prepare(statement);
  if (!lease) return std::unexpected(lease.error());
  sqlite3_stmt* stmt = lease->get();
  const int columns = sqlite3_column_count(stmt);
  // Only queries make sets; a statement that writes is never run from here.
  if (columns == 0 || !sqlite3_stmt_readonly(stmt)) {
    return std::unexpected(EngineError(kInvalidOperation));
  }
  columns_ = lease->Columns();
  row_.clear();
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    for (int i = 0; i < columns; ++i) row_.push_back(ColumnValue(stmt, i));
  } else if (rc != SQLITE_DONE) {
    return std::unexpected(connection_->LastError(rc));
  }
  has_row_ = rc == SQLITE_ROW;
  read_ = true;
  return {};
}

DbStatus SqliteRecordset::EnsureRead() const {
  if (auto ok = Usable(); !ok) return ok;
  if (read_) return {};
  return Run("SELECT * FROM " + QuoteName(Target()->name) + " LIMIT 1");
}

bool SqliteRecordset::Eof() const {
  if (!EnsureRead()) return true;
  return !has_row_;
}

DbResult<Value> SqliteRecordset::Field(std::string_view name) const {
  if (auto ok = Usable(); !ok) return std::unexpected(ok.error());
  if (adding_) {
    const int at = Target()->Find(name);
    if (at < 0) return std::unexpected(ItemNotFound());
    return pending_[size_t(at)].value_or(Value::Null());
  }
  if (auto ok = EnsureRead(); !ok) return std::unexpected(ok.error());
  const std::vector<std::string>& names = columns_->names;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!text::EqualsIgnoreCase(names[i], name)) continue;
    if (!has_row_) return std::unexpected(EngineError(kNoCurrentRecord));
    return row_[i];
  }
  return std::unexpected(ItemNotFound());
}

DbResult<Value> SqliteRecordset::Field(int index) const {
  if (auto ok = Usable(); !ok) return std::unexpected(ok.error());
  if (adding_) {
    if (index < 0 || size_t(index) >= pending_.size()) return std::unexpected(ItemNotFound());
    return pending_[size_t(index)].value_or(Value::Null());
  }
  if (auto ok = EnsureRead(); !ok) return std::unexpected(ok.error());
  if (index < 0 || size_t(index) >= columns_->names.size()) {
    return std::unexpected(ItemNotFound());
  }
  if (!has_row_) return std::unexpected(EngineError(kNoCurrentRecord));
  return row_[size_t(index)];
}

DbResult<int> SqliteRecordset::FieldSize(std::string_view name) const {
  if (auto ok = Usable(); !ok) return std::unexpected(ok.error());
  if (const TableInfo* table = Target()) {
    const int at = table->Find(name);
    if (at < 0) return std::unexpected(ItemNotFound());
    return table->columns[size_t(at)].size;
  }
  if (!columns_) return std::unexpected(ItemNotFound());
  const ResultColumns& columns = *columns_;
  for (size_t i = 0; i < columns.names.size(); ++i) {
    if (text::EqualsIgnoreCase(columns.names[i], name)) {
      return DescribeType(columns.names[i], columns.declared[i]).size;
    }
  }
  return std::unexpected(ItemNotFound());
}

DbStatus SqliteRecordset::AddNew() {
  if (auto ok = Usable(); !ok) return ok;
  if (!Target()) return std::unexpected(EngineError(kReadOnly));
  // The row's writes start here: the AutoNumber key read now must still be
  // free when Update inserts it.
  if (auto ok = connection_->BeginWrite(); !ok) return ok;
  pending_.assign(table_->columns.size(), std::nullopt);
  if (table_->autonumber >= 0) {
    auto key = connection_->NextAutoNumber(*table_);
    if (!key) return std::unexpected(key.error());
    pending_[size_t(table_->autonumber)] = Value::Number(double(*key));
  }
  adding_ = true;
  return {};
}

DbStatus SqliteRecordset::SetField(std::string_view name, const Value& value) {
  if (auto ok = Usable(); !ok) return ok;
  if (!adding_) return std::unexpected(EngineError(kUpdateWithoutAddNew));
  // Callers mostly set fields in the table's column order: the column after
  // the one set last is tried before the search.
  const std::vector<Column>& columns = table_->columns;
  int at = next_column_;
  if (size_t(at) >= columns.size() || !text::EqualsIgnoreCase(columns[size_t(at)].name, name)) {
    at = table_->Find(name);
    if (at < 0) return std::unexpected(ItemNotFound());
  }
  next_column_ = at + 1;
  auto stored = StoredForm(table_->columns[size_t(at)], value);
  if (!stored) return std::unexpected(stored.error());
  pending_[size_t(at)] = std::move(*stored);
  return {};
}

DbStatus SqliteRecordset::Update() {
  if (auto ok = Usable(); !ok) return ok;
  if (!adding_) return std::unexpected(EngineError(kUpdateWithoutAddNew));
  DbStatus ran;
  {
    // One INSERT text per set of columns given values: the statement cache
    // then serves every later row that sets the same columns.
    auto lease = connection_->PrepareOwn(table_->InsertSql(pending_));
    if (!lease) return std::unexpected(lease.error());
    int at = 0;
    for (const std::optional<Value>& value : pending_) {
      if (value) Bind(lease->get(), ++at, *value);
    }
    ran = connection_->Run(*lease);
  }  // the statement lets go of the bound values here, before they are cleared
  // A failed Update keeps the row being added, so that the caller can change
  // a field and try again.
  if (!ran) return ran;
  adding_ = false;
  pending_.clear();
  return {};
}

void SqliteRecordset::Close() {
  adding_ = false;
  pending_.clear();
  row_.clear();
  columns_.reset();
  table_.reset();
  table_known_ = true;
  connection_.reset();
}

}  // namespace talvenor::records::sqlite_detail
