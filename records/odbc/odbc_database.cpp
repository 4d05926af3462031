#include "records/odbc/odbc_database.h"

#include <optional>
#include <utility>

#include "records/odbc/odbc_connection.h"
#include "records/odbc/odbc_recordset.h"

namespace talvenor::records {

namespace {

// A table named bare keeps the server's folding of names; only a name that
// could not stand bare (blanks, punctuation) is quoted.
bool NeedsQuotes(std::string_view name) {
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
    if (!word) return true;
  }
  return false;
}

}  // namespace

OdbcDatabase::OdbcDatabase(std::shared_ptr<odbc::Connection> connection)
    : connection_(std::move(connection)) {}

OdbcDatabase::~OdbcDatabase() { Close(); }

DbResult<std::unique_ptr<OdbcDatabase>> OdbcDatabase::Open(std::string_view connect,
                                                           int login_timeout_seconds) {
  auto connection = odbc::Connection::Connect(connect, login_timeout_seconds);
  if (!connection) return std::unexpected(std::move(connection.error()));
  return std::unique_ptr<OdbcDatabase>(new OdbcDatabase(std::move(*connection)));
}

DbResult<std::unique_ptr<Recordset>> OdbcDatabase::OpenRecordset(std::string_view sql_or_table,
                                                                 SetKind kind) {
  std::string sql;
  if (kind == SetKind::kTable) {
    const bool bracketed =
        !sql_or_table.empty() && (sql_or_table.front() == '[' || sql_or_table.front() == '"');
    const std::string table = !bracketed && NeedsQuotes(sql_or_table)
                                  ? connection_->QuoteName(sql_or_table)
                                  : std::string(sql_or_table);
    // A table set serves to add rows; only its first row is ever read.
    switch (connection_->server()) {
      case odbc::Server::kSqlServer:
        sql = "SELECT TOP 1 * FROM " + table;
        break;
      case odbc::Server::kPostgres:
        sql = "SELECT * FROM " + table + " LIMIT 1";
        break;
      case odbc::Server::kOther:
        sql = "SELECT * FROM " + table;
        break;
    }
  } else {
    sql = odbc::ServerStatement(connection_->server(), sql_or_table);
  }
  auto set = odbc::OdbcRecordset::Open(connection_, sql);
  if (!set) return std::unexpected(std::move(set.error()));
  return std::unique_ptr<Recordset>(std::move(*set));
}

DbStatus OdbcDatabase::Execute(std::string_view sql) {
  return connection_->Execute(odbc::ServerStatement(connection_->server(), sql));
}

DbResult<QueryRows> OdbcDatabase::ReadRows(std::string_view sql) {
  return connection_->ReadRows(sql);
}

bool OdbcDatabase::DeferWrites(bool on) { return connection_->DeferInserts(on && !hold_); }

DbResult<bool> OdbcDatabase::LineDone() {
  if (hold_) return true;
  if (!line_mode_settled_) {
    line_mode_settled_ = true;
    // PostgreSQL ends a transaction at its first error unless the driver
    // undoes the failed statement alone; only then may a line be one
    // transaction. A probe that cannot be made leaves every statement
    // committing on its own.
    if (IsPostgres() && !connection_->line_transactions() &&
        UndoesFailedStatementsAlone().value_or(false)) {
      // This line's writes were committed statement by statement; groups
      // start with the next line.
      (void)SetLineTransactions(true);
      return true;
    }
  }
  if (!connection_->line_transactions()) return true;
  const auto now = std::chrono::steady_clock::now();
  if (++lines_pending_ == 1) group_started_ = now;
  if (!policy_.Due(lines_pending_, now - group_started_)) return false;
  lines_pending_ = 0;
  if (auto ok = connection_->Commit(); !ok) return std::unexpected(std::move(ok.error()));
  return true;
}

DbStatus OdbcDatabase::TakeTurns(TurnWaiter* waiter) {
  if (!line_mode_settled_) {
    line_mode_settled_ = true;
    if (IsPostgres() && !connection_->line_transactions() &&
        UndoesFailedStatementsAlone().value_or(false)) {
      if (auto on = connection_->SetLineTransactions(true); !on) return on;
    }
  }
  connection_->TakeTurns(waiter);
  return {};
}

DbResult<bool> OdbcDatabase::UndoesFailedStatementsAlone() {
  if (!IsPostgres()) return false;
  const bool was_on = connection_->line_transactions();
  if (was_on) {
    if (auto r = connection_->Commit(); !r) return std::unexpected(std::move(r.error()));
  } else if (auto r = connection_->SetLineTransactions(true); !r) {
    return std::unexpected(std::move(r.error()));
  }
  // A setting made for this transaction only survives the failed statement
  // exactly when the transaction does.
  std::optional<DbError> trouble;
  bool kept = false;
  if (auto r = connection_->Execute("SELECT set_config('talvenor.rollback_probe', 'kept', true)");
      !r) {
    trouble = std::move(r.error());
  } else if (connection_->Execute("SELECT 1/0")) {
    kept = false;  // the statement meant to fail did not: no answer either way
  } else if (auto set = odbc::OdbcRecordset::Open(
                 connection_, "SELECT current_setting('talvenor.rollback_probe', true) AS Probe")) {
    const DbResult<Value> value = (*set)->Field("Probe");
    kept = value && value->IsText() && value->text() == "kept";
  }
  const DbStatus undone = connection_->Rollback();
  if (!was_on) (void)connection_->SetLineTransactions(false);
  if (trouble) return std::unexpected(std::move(*trouble));
  if (!undone) return std::unexpected(std::move(undone.error()));
  return kept;
}

DbStatus OdbcDatabase::Flush() {
  if (hold_) return {};
  lines_pending_ = 0;
  return connection_->Commit();
}

DbStatus OdbcDatabase::BeginTransaction() {
  lines_pending_ = 0;
  if (auto ok = connection_->Commit(); !ok) return ok;
  // The first LineDone must not switch the mode back behind the caller.
  line_mode_settled_ = true;
  return connection_->SetLineTransactions(true);
}

DbStatus OdbcDatabase::Rollback() {
  lines_pending_ = 0;
  return connection_->Rollback();
}

bool OdbcDatabase::CanUndoLines() const { return connection_->line_transactions(); }

DbStatus OdbcDatabase::HoldAllWrites() {
  if (IsPostgres()) {
    auto alone = UndoesFailedStatementsAlone();
    if (!alone) return std::unexpected(std::move(alone.error()));
    if (!*alone) {
      DbError e = odbc::EngineError(kOdbcCallFailed);
      e.description =
          "A dry run needs a driver that undoes a failed statement alone (psqlODBC's "
          "statement-level rollback, Protocol=7.4-2).";
      return std::unexpected(std::move(e));
    }
  }
  if (auto on = connection_->SetLineTransactions(true); !on) return on;
  line_mode_settled_ = true;
  hold_ = true;
  return {};
}

void OdbcDatabase::Close() {
  if (hold_) (void)connection_->Rollback();
  connection_->Disconnect();
}

DbStatus OdbcDatabase::SetLineTransactions(bool on) { return connection_->SetLineTransactions(on); }

SqlDialect OdbcDatabase::Dialect() const {
  return IsPostgres() ? SqlDialect::kPostgres : SqlDialect::kSqlServer;
}

bool OdbcDatabase::IsPostgres() const { return connection_->server() == odbc::Server::kPostgres; }

}  // namespace talvenor::records
