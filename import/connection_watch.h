#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "records/database.h"
#include "records/db_error.h"

namespace talvenor::import {

// True when the error says the connection to the target is gone: an ODBC
// SQLSTATE of class 08 (connection exception), or the server's own shutdown
// (57P01 to 57P03). Every later statement would fail the same way.
bool IsConnectionLost(const records::DbError& error);

// A target database seen through a watch: every call is passed on unchanged,
// and the first error that shows the connection lost is kept, whichever
// routine made the call (a look-up, a save, an activity row, a membership),
// so that the run can stop at the line the loss struck.
class ConnectionWatch final : public records::Database {
 public:
  explicit ConnectionWatch(records::Database& inner) : inner_(inner) {}

  // The first error that lost the connection, if any.
  const std::optional<records::DbError>& lost() const { return *lost_; }

  records::DbResult<std::unique_ptr<records::Recordset>> OpenRecordset(
      std::string_view sql_or_table, records::SetKind kind) override;
  records::DbStatus Execute(std::string_view sql) override;
  records::DbStatus LineDone() override;
  records::DbStatus Flush() override;
  records::DbStatus BeginTransaction() override;
  records::DbStatus Rollback() override;
  void Close() override { inner_.Close(); }

 private:
  records::Database& inner_;
  // Shared with the sets opened through the watch.
  std::shared_ptr<std::optional<records::DbError>> lost_ =
      std::make_shared<std::optional<records::DbError>>();
};

}  // namespace talvenor::import
