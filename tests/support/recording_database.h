#pragma once

// A recording stand-in for a target database, for the server behaviours no
// engine here produces on demand: key collisions (2627), unique-index
// violations, failing clock queries, any N-th save failing. Queries answer
// what the test scripted for their SQL text; every SQL text and every field set
// is logged, and rows whose Update succeeded are kept.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/database.h"
#include "records/db_error.h"
#include "records/value.h"

namespace talvenor::testing {

using records::Database;
using records::DbError;
using records::DbResult;
using records::DbStatus;
using records::KeyForm;
using records::kNoCurrentRecord;
using records::kOdbcCallFailed;
using records::kUpdateWithoutAddNew;
using records::Recordset;
using records::SetKind;
using records::SqlDialect;
using records::Value;

// A row: field names and values, in column order.
using FakeRow = std::vector<std::pair<std::string, Value>>;

inline std::optional<Value> FieldOf(const FakeRow& row, std::string_view name) {
  for (const auto& [field, value] : row) {
    if (field == name) return value;
  }
  return std::nullopt;
}

inline DbError OdbcError(long provider_number, std::string provider_text = "provider error") {
  return DbError{
      kOdbcCallFailed, "ODBC--call failed.", {{provider_number, "23000", provider_text}}};
}

class RecordingDatabase : public Database {
 public:
  struct FieldSet {
    std::string source;  // the SQL text or table the set was opened on
    std::string name;
    Value value;
  };
  struct StoredRow {
    std::string source;
    FakeRow fields;
  };

  // Queries whose SQL text contains `pattern` answer these rows. A later
  // script for the same pattern replaces the earlier one; among different
  // matching patterns the latest scripted wins.
  void Answer(std::string pattern, std::vector<FakeRow> rows) {
    scripts_.push_back({std::move(pattern), std::move(rows), std::nullopt});
  }
  // Opening a set whose SQL text contains `pattern` fails with `error`.
  void Fail(std::string pattern, DbError error) {
    scripts_.push_back({std::move(pattern), {}, std::move(error)});
  }
  // The `nth` call of Update (counting from 1, across all sets) fails.
  void FailUpdate(int nth, DbError error) { update_failures_[nth] = std::move(error); }
  // Sets opened on a text containing `pattern` start each added row with these
  // fields, as an engine that assigns AutoNumber keys at AddNew does.
  void FillOnAddNew(std::string pattern, FakeRow fields) {
    fills_.emplace_back(std::move(pattern), std::move(fields));
  }

  // The engine this stands for: a server unless a test makes it a database file.
  SqlDialect dialect = SqlDialect::kSqlServer;

  const std::vector<std::string>& sql() const { return sql_; }
  const std::vector<FieldSet>& field_sets() const { return field_sets_; }
  const std::vector<StoredRow>& stored() const { return stored_; }
  int updates() const { return updates_; }

  // How many logged SQL texts contain `part`.
  int CountSql(std::string_view part) const {
    int n = 0;
    for (const std::string& s : sql_) n += s.find(part) != std::string::npos ? 1 : 0;
    return n;
  }

  DbResult<std::unique_ptr<Recordset>> OpenRecordset(
      std::string_view sql_or_table, SetKind /*kind*/ = SetKind::kDynaset) override {
    sql_.emplace_back(sql_or_table);
    std::vector<FakeRow> rows;
    for (auto it = scripts_.rbegin(); it != scripts_.rend(); ++it) {
      if (sql_or_table.find(it->pattern) == std::string_view::npos) continue;
      if (it->error) return std::unexpected(*it->error);
      rows = it->rows;
      break;
    }
    FakeRow fill;
    for (const auto& [pattern, fields] : fills_) {
      if (sql_or_table.find(pattern) != std::string_view::npos) fill = fields;
    }
    return std::make_unique<FakeSet>(*this, std::string(sql_or_table), std::move(rows),
                                     std::move(fill));
  }

  DbStatus Execute(std::string_view sql) override {
    sql_.emplace_back(sql);
    for (auto it = scripts_.rbegin(); it != scripts_.rend(); ++it) {
      if (sql.find(it->pattern) == std::string_view::npos) continue;
      if (it->error) return std::unexpected(*it->error);
      break;
    }
    return {};
  }
  DbResult<bool> LineDone() override { return true; }
  DbStatus Flush() override { return {}; }
  DbStatus Rollback() override { return {}; }
  bool CanUndoLines() const override { return false; }
  SqlDialect Dialect() const override { return dialect; }
  KeyForm Keys() const override {
    return dialect == SqlDialect::kSqlite ? KeyForm::kEngineOrGuid : KeyForm::kServerClockNumber;
  }
  DbStatus HoldAllWrites() override { return {}; }
  DbStatus BeginTransaction() override { return {}; }
  void Close() override {}

 private:
  struct Script {
    std::string pattern;
    std::vector<FakeRow> rows;
    std::optional<DbError> error;
  };

  class FakeSet : public Recordset {
   public:
    FakeSet(RecordingDatabase& db, std::string source, std::vector<FakeRow> rows, FakeRow fill)
        : db_(db), source_(std::move(source)), rows_(std::move(rows)), fill_(std::move(fill)) {}

    bool Eof() const override { return rows_.empty(); }
    DbResult<Value> Field(std::string_view name) const override {
      const FakeRow* row = adding_ ? &new_row_ : rows_.empty() ? nullptr : &rows_.front();
      if (row == nullptr)
        return std::unexpected(DbError{kNoCurrentRecord, "No current record.", {}});
      if (auto value = FieldOf(*row, name)) return *value;
      // A column that exists but was not set reads as Null while adding.
      if (adding_) return Value::Null();
      return std::unexpected(DbError{3265, "Item not found in this collection.", {}});
    }
    DbResult<Value> Field(int index) const override {
      if (rows_.empty() || index < 0 || size_t(index) >= rows_.front().size()) {
        return std::unexpected(DbError{kNoCurrentRecord, "No current record.", {}});
      }
      return rows_.front()[size_t(index)].second;
    }
    DbResult<int> FieldSize(std::string_view /*name*/) const override { return 255; }

    DbStatus AddNew() override {
      adding_ = true;
      new_row_ = fill_;
      return {};
    }
    DbStatus SetField(std::string_view name, const Value& value) override {
      db_.field_sets_.push_back({source_, std::string(name), value});
      if (!adding_) return std::unexpected(DbError{kUpdateWithoutAddNew, "no AddNew", {}});
      for (auto& [field, old] : new_row_) {
        if (field == name) {
          old = value;
          return {};
        }
      }
      new_row_.emplace_back(std::string(name), value);
      return {};
    }
    DbStatus Update() override {
      const int nth = ++db_.updates_;
      if (!adding_) {
        return std::unexpected(
            DbError{kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit.", {}});
      }
      if (auto it = db_.update_failures_.find(nth); it != db_.update_failures_.end()) {
        return std::unexpected(it->second);  // the row stays in the add buffer
      }
      db_.stored_.push_back({source_, new_row_});
      adding_ = false;
      new_row_.clear();
      return {};
    }
    void Close() override {}

   private:
    RecordingDatabase& db_;
    std::string source_;
    std::vector<FakeRow> rows_;
    FakeRow fill_;
    bool adding_ = false;
    FakeRow new_row_;
  };

  std::vector<Script> scripts_;
  std::vector<std::pair<std::string, FakeRow>> fills_;
  std::map<int, DbError> update_failures_;
  std::vector<std::string> sql_;
  std::vector<FieldSet> field_sets_;
  std::vector<StoredRow> stored_;
  int updates_ = 0;
};

}  // namespace talvenor::testing
