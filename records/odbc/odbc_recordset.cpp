#include "records/odbc/odbc_recordset.h"

#include "text/ascii.h"

namespace talvenor::records::odbc {

DbResult<std::unique_ptr<OdbcRecordset>> OdbcRecordset::Open(std::shared_ptr<Connection> connection,
                                                             std::string_view sql) {
  auto statement = connection->NewStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  SQLRETURN rc = statement->Exec(sql);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA) {
    return std::unexpected(statement->Error());
  }
  std::unique_ptr<OdbcRecordset> set(new OdbcRecordset(std::move(connection), SingleTableOf(sql)));
  auto columns = DescribeResult(statement->get());
  if (!columns) return std::unexpected(std::move(columns.error()));
  set->columns_ = std::move(*columns);
  // A set of every column of one table (an insert set) describes the table.
  if (set->table_ && sql.size() >= 14 &&
      text::EqualsIgnoreCase(sql.substr(0, 14), "SELECT * FROM ")) {
    set->connection_->KnowColumns(*set->table_, set->columns_);
  }
  if (set->columns_.empty()) return set;  // a statement without rows: an empty set

  rc = SQLFetch(statement->get());
  if (rc == SQL_NO_DATA) return set;
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return std::unexpected(statement->Error());
  std::vector<Value> row;
  row.reserve(set->columns_.size());
  for (size_t i = 0; i < set->columns_.size(); ++i) {
    auto value = ReadColumn(statement->get(), static_cast<SQLUSMALLINT>(i + 1), set->columns_[i]);
    if (!value) return std::unexpected(std::move(value.error()));
    row.push_back(std::move(*value));
  }
  set->row_ = std::move(row);
  return set;
}

int OdbcRecordset::QueryColumn(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (text::EqualsIgnoreCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

int OdbcRecordset::TableColumn(std::string_view name) const {
  if (!table_columns_) return -1;
  for (size_t i = 0; i < table_columns_->size(); ++i) {
    if (text::EqualsIgnoreCase((*table_columns_)[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

DbStatus OdbcRecordset::Usable() const {
  if (closed_ || !connection_->connected()) return std::unexpected(EngineError(kObjectInvalid));
  return {};
}

DbResult<Value> OdbcRecordset::Field(std::string_view name) const {
  if (auto ok = Usable(); !ok) return std::unexpected(std::move(ok.error()));
  if (pending_) {
    const int i = TableColumn(name);
    if (i < 0) return std::unexpected(EngineError(kItemNotFound));
    const auto& v = (*pending_)[static_cast<size_t>(i)];
    return v ? *v : Value::Null();
  }
  const int i = QueryColumn(name);
  if (i < 0) return std::unexpected(EngineError(kItemNotFound));
  if (!row_) return std::unexpected(EngineError(kNoCurrentRecord));
  return (*row_)[static_cast<size_t>(i)];
}

DbResult<Value> OdbcRecordset::Field(int index) const {
  if (auto ok = Usable(); !ok) return std::unexpected(std::move(ok.error()));
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) {
    return std::unexpected(EngineError(kItemNotFound));
  }
  if (pending_) return Field(columns_[static_cast<size_t>(index)].name);
  if (!row_) return std::unexpected(EngineError(kNoCurrentRecord));
  return (*row_)[static_cast<size_t>(index)];
}

DbResult<int> OdbcRecordset::FieldSize(std::string_view name) const {
  if (auto ok = Usable(); !ok) return std::unexpected(std::move(ok.error()));
  if (const int i = QueryColumn(name); i >= 0) {
    return DefinedTextLength(columns_[static_cast<size_t>(i)]);
  }
  if (const int i = TableColumn(name); i >= 0) {
    return DefinedTextLength((*table_columns_)[static_cast<size_t>(i)]);
  }
  return std::unexpected(EngineError(kItemNotFound));
}

DbStatus OdbcRecordset::AddNew() {
  if (auto ok = Usable(); !ok) return ok;
  if (!table_) return std::unexpected(EngineError(kReadOnly));
  if (!table_columns_) {
    auto columns = connection_->TableColumns(*table_);
    if (!columns) return std::unexpected(std::move(columns.error()));
    table_columns_ = std::move(*columns);
  }
  // A row begun earlier and not stored is dropped, as a new AddNew does.
  pending_.emplace(table_columns_->size());
  return {};
}

DbStatus OdbcRecordset::SetField(std::string_view name, const Value& value) {
  if (auto ok = Usable(); !ok) return ok;
  if (!pending_) return std::unexpected(EngineError(kUpdateWithoutAddNew));
  const int i = TableColumn(name);
  if (i < 0) return std::unexpected(EngineError(kItemNotFound));
  (*pending_)[static_cast<size_t>(i)] = value;
  return {};
}

DbStatus OdbcRecordset::Update() { return Insert({}); }

bool OdbcRecordset::UpdateTogetherWith(std::string_view sql) {
  if (sql.empty()) return false;
  // Kept back, both go to the server in the next exchange anyway.
  if (connection_->deferring()) return Insert({}) && connection_->Execute(sql);
  if (connection_->server() != Server::kPostgres) return false;
  return Insert(sql).has_value();
}

DbStatus OdbcRecordset::Insert(std::string_view then) {
  if (auto ok = Usable(); !ok) return ok;
  if (!pending_) return std::unexpected(EngineError(kUpdateWithoutAddNew));

  // Only the fields that were set are named, so the table's defaults fill
  // the others.
  std::string names;
  std::string markers;
  std::vector<Parameter> parameters;
  parameters.reserve(table_columns_->size());
  for (size_t i = 0; i < table_columns_->size(); ++i) {
    const auto& v = (*pending_)[i];
    if (!v) continue;
    const Column& column = (*table_columns_)[i];
    if (!names.empty()) names += ',', markers += ',';
    names += connection_->QuoteName(column.name);
    markers += '?';
    parameters.push_back(MakeParameter(*v, column));
  }
  if (connection_->deferring() && then.empty() && !names.empty()) {
    connection_->Defer("INSERT INTO " + *table_ + " (" + names + ") VALUES ", "(" + markers + ")",
                       std::move(parameters));
    pending_.reset();
    return {};
  }
  std::string sql = names.empty()
                        ? "INSERT INTO " + *table_ + " DEFAULT VALUES"
                        : "INSERT INTO " + *table_ + " (" + names + ") VALUES (" + markers + ")";
  if (!then.empty()) sql.append(";").append(then);

  auto statement = connection_->NewStatement();
  if (!statement) return std::unexpected(std::move(statement.error()));
  // A failed row stays pending, so a caller can change a field and try again.
  if (DbStatus ran = statement->RunAll(sql, parameters); !ran) return ran;
  pending_.reset();
  return {};
}

void OdbcRecordset::Close() {
  closed_ = true;
  pending_.reset();
  row_.reset();
}

}  // namespace talvenor::records::odbc
