#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "records/database.h"
#include "records/db_error.h"

namespace talvenor::import {

// A target database seen through a watch: every call is passed on unchanged,
// and the first error that shows the target can store nothing more (a lost
// connection, a full disk, an I/O error, a read-only file, a lock time-out)
// is kept, whichever routine made the call (a look-up, a save, an activity
// row, a membership), so that the run can stop at the line it struck.
class TargetWatch final : public records::Database {
 public:
  explicit TargetWatch(records::Database& inner) : inner_(inner) {}

  // The first such error since the last Clear, if any.
  const std::optional<records::DbError>& fault() const { return *fault_; }
  void Clear() { fault_->reset(); }

  records::DbResult<std::unique_ptr<records::Recordset>> OpenRecordset(
      std::string_view sql_or_table, records::SetKind kind) override;
  records::DbStatus Execute(std::string_view sql) override;
  records::DbResult<bool> LineDone() override;
  records::DbStatus Flush() override;
  records::DbStatus Rollback() override { return inner_.Rollback(); }
  bool CanUndoLines() const override { return inner_.CanUndoLines(); }
  records::SqlDialect Dialect() const override { return inner_.Dialect(); }
  records::KeyForm Keys() const override { return inner_.Keys(); }
  records::DbStatus HoldAllWrites() override { return inner_.HoldAllWrites(); }
  records::DbStatus BeginTransaction() override { return inner_.BeginTransaction(); }
  records::DbStatus TakeTurns(records::TurnWaiter* waiter) override;
  records::DbStatus PrepareToWrite() override;
  records::DbResult<records::QueryRows> ReadRows(std::string_view sql) override;
  bool DeferWrites(bool on) override { return inner_.DeferWrites(on); }
  void Close() override { inner_.Close(); }

 private:
  records::Database& inner_;
  // Shared with the sets opened through the watch.
  std::shared_ptr<std::optional<records::DbError>> fault_ =
      std::make_shared<std::optional<records::DbError>>();
};

}  // namespace talvenor::import
