#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/database.h"
#include "records/sqlite/sqlite_connection.h"

namespace talvenor::records::sqlite_detail {

// The value a column stores for a value set into it: Null for Null and Empty;
// a number into a text column in plain decimal ("12345"); a date-time as the
// text "YYYY-MM-DD HH:MM:SS"; a text into a date or time column read as a
// date-time; a numeric text into a numeric column as its number. A text longer
// than a sized column is error 3163, a value the column cannot hold 3421.
DbResult<Value> StoredForm(const Column& column, const Value& value);

// A serial date-time as "YYYY-MM-DD HH:MM:SS".
std::string SqliteDateText(double serial);

class SqliteRecordset final : public Recordset {
 public:
  // A dynaset of a query: runs it and keeps its first row.
  static DbResult<std::unique_ptr<Recordset>> OpenQuery(std::shared_ptr<Connection> connection,
                                                        std::string_view jet_sql);
  // A table set: adds rows to the table; reads its first row when asked.
  static DbResult<std::unique_ptr<Recordset>> OpenTable(std::shared_ptr<Connection> connection,
                                                        std::string_view table);

  bool Eof() const override;
  DbResult<Value> Field(std::string_view name) const override;
  DbResult<Value> Field(int index) const override;
  DbResult<int> FieldSize(std::string_view name) const override;
  DbStatus AddNew() override;
  DbStatus SetField(std::string_view name, const Value& value) override;
  DbStatus Update() override;
  void Close() override;

 private:
  explicit SqliteRecordset(std::shared_ptr<Connection> connection);
  DbStatus Run(std::string_view jet_sql) const;
  DbStatus EnsureRead() const;
  DbStatus Usable() const;
  // The table rows are added to, found when first needed; null when the set
  // reads no single table.
  const TableInfo* Target() const;

  std::shared_ptr<Connection> connection_;
  mutable std::shared_ptr<const TableInfo> table_;  // where rows are added
  mutable bool table_known_ = false;
  std::string source_;  // the query of a dynaset
  // The first row of the set, read at opening (dynasets) or when first asked
  // (table sets).
  mutable bool read_ = false;
  mutable bool has_row_ = false;
  mutable std::shared_ptr<const ResultColumns> columns_;  // set by every read
  mutable std::vector<Value> row_;
  // The row being added: a stored value per table column, unset when nullopt.
  bool adding_ = false;
  int next_column_ = 0;  // the column after the one SetField set last
  std::vector<std::optional<Value>> pending_;
};

}  // namespace talvenor::records::sqlite_detail
