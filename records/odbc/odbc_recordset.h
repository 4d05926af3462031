#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"
#include "records/odbc/odbc_connection.h"

namespace talvenor::records::odbc {

// The rows of one query on an ODBC connection: the first row is read when the
// set is opened and the cursor is closed at once, so a set holds no server
// resources. When the query reads a single table, rows can be added to that
// table through a parameterised INSERT.
class OdbcRecordset final : public Recordset {
 public:
  // Runs `sql` (already in the server's form) and reads its first row.
  static DbResult<std::unique_ptr<OdbcRecordset>> Open(std::shared_ptr<Connection> connection,
                                                       std::string_view sql);

  bool Eof() const override { return !row_.has_value(); }
  DbResult<Value> Field(std::string_view name) const override;
  DbResult<Value> Field(int index) const override;
  DbResult<int> FieldSize(std::string_view name) const override;

  DbStatus AddNew() override;
  DbStatus SetField(std::string_view name, const Value& value) override;
  DbStatus Update() override;
  // On PostgreSQL: the INSERT and `sql` in one statement text, which the
  // server runs all or nothing (a failed one undoes both).
  bool UpdateTogetherWith(std::string_view sql) override;

  void Close() override;

 private:
  OdbcRecordset(std::shared_ptr<Connection> connection, std::optional<std::string> table)
      : connection_(std::move(connection)), table_(std::move(table)) {}

  // Index of a column of the query, letter case ignored; -1 when absent.
  int QueryColumn(std::string_view name) const;
  // Index of a column of the table being added to; -1 when absent.
  int TableColumn(std::string_view name) const;
  DbStatus Usable() const;
  // Runs the INSERT of the pending row, followed by `then` when not empty.
  DbStatus Insert(std::string_view then);

  std::shared_ptr<Connection> connection_;
  std::optional<std::string> table_;  // as written in the query
  Columns columns_;                   // of the query
  std::optional<std::vector<Value>> row_;
  // While a row is being added: the table's columns and the values set so far.
  std::shared_ptr<const Columns> table_columns_;
  std::optional<std::vector<std::optional<Value>>> pending_;
  bool closed_ = false;
};

}  // namespace talvenor::records::odbc
